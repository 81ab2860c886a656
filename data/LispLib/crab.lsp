; crab.lsp: the legged crab robot of the crab scenes: a round body on six legs, three on each side, each leg an
; upper segment reaching out sideways from a hip joint and a lower segment hanging from a knee joint. All joints
; turn about the z axis, so the legs move across the body, and the crab walks sideways, as crabs do (along x).
; It walks on two tripods of legs (front and back of one side with the middle of the other): one tripod stands
; and pushes while the other lifts its feet and swings them on.
;
; (make-crab x z) builds one standing with its feet on the floor round (x 0 z) and returns the body;
; (crab-walk stride) sets the joints once a step to walk: positive strides go towards +x, 0 stands still.

(def crab-hip-x 6.0)         ; the hips on the body's sides, at x = +-6
(def crab-upper-length 2.5)  ; hip to knee
(def crab-lower-length 6.0)  ; knee to foot
(def crab-height 6.0)        ; the body's middle above the floor when standing
(def crab-legs nil)          ; (side hip-joint knee-joint phase z) of each leg
(def crab-clock 0.0)
(def crab-body nil)

; One leg on the side s (1: +x, -1: -x) at z, with its phase in the walking cycle.
(defun crab-leg (body s z phase)
  (let ((upper (make-shown-body "leg.x" "dleg.x" 1 1 1 0.3))
        (lower (make-shown-body "leg2.x" "dleg2.x" 1 1 1 0.3)))
    ; the upper segment lies along x (its mesh stands along y), 4 long; the lower one stands, 6 long
    (SetXPhVertexTransformMat upper (list '(0 -2 0) '(2 0 0) '(0 0 1.5) '(0 0 0)))
    (SetXPhVertexTransformMat lower '((1.5 0 0) (0 2 0) (0 0 1.5) (0 0 0)))
    (XPhBodySetInertiaTensor upper (XPhBodyGetInertiaTensorFromAABB upper))
    (XPhBodySetInertiaTensor lower (XPhBodyGetInertiaTensorFromAABB lower))
    (paint upper 0.30 0.32 0.36)
    (paint lower 0.85 0.35 0.20)
    (let* ((hx (* s crab-hip-x))
           (kx (* s (+ crab-hip-x crab-upper-length)))
           (hip (hinge body upper (mat-at (* s (+ crab-hip-x (* 0.5 crab-upper-length))) 0 z)
                       (list hx 0 z) '(0 0 1) 1.0))
           (knee (hinge upper lower (mat-at (* s (* 0.5 crab-upper-length)) (* -0.5 crab-lower-length) 0)
                        (list (* s (* 0.5 crab-upper-length)) 0 0) '(0 0 1) 1.0)))
      (XPhBodyJointLimitFlag hip nil)
      (XPhBodyJointLimitFlag knee nil)
      (def crab-legs (cons (list s hip knee phase z) crab-legs)))))

; The crab's joints are driven hard: the world runs two steps of 0.01 seconds in every frame while it walks, which
; keeps their springs steady (the same time passes in a frame).
(defun make-crab (x z)
  (SetSimulationStepSize 0.01)
  (SetSimulationRepeatSize 2000)
  (def crab-legs nil)
  (def crab-clock 0.0)
  (let ((body (make-shown-body "kbody_ld.x" "kbody.x" 1 1 1 1.0)))
    (SetXPhBodyMat body (mat-at 0 0 0))
    (crab-leg body 1 4.0 0.0)
    (crab-leg body -1 0.0 0.0)
    (crab-leg body 1 -4.0 0.0)
    (crab-leg body -1 4.0 3.1415927)
    (crab-leg body 1 0.0 3.1415927)
    (crab-leg body -1 -4.0 3.1415927)
    (SetXPhBodyMat body (mat-at x crab-height z))
    (def crab-body body)
    body))

; The body's turn about the vertical: the angle of its x axis seen from above.
(defun crab-yaw () (let ((xa (mat-x-axis (body-mat crab-body)))) (atan2 (vz xa) (vx xa))))

; The angles a leg aims for at a point of the cycle: the knee swings the foot along x; the hip lifts the leg while
; its foot swings back the way the crab goes, so the foot is on the floor only while it pushes. The legs of the
; side the body has turned towards take longer strides, which turns it back.
(defun crab-leg-step (leg stride cycle yaw)
  (let* ((s (car leg))
         (a (+ cycle (select leg 3)))
         (st (* stride (+ 1.0 (* 0.5 (* yaw (select leg 4))))))
         (swing (* st (sin a)))
         (lift (* (abs stride) (* 2.0 (clamp (cos a) 0.0 1.0)))))
    (drive-joint (select leg 1) (* s lift) 400.0 15.0)
    (drive-joint (select leg 2) (- swing (* s lift)) 250.0 10.0)))

; The balance of the body, as a walking robot keeps it with its gyros: a torque that turns it back to face its way
; (yaw 0) and damps its turning, and a sideways push that keeps it on its line (z = crab-line).
(def crab-line 0.0)
(defun crab-balance (yaw)
  (let ((spin (XPhBodyGetAVelocity crab-body))
        (m (XPhBodyGetMass crab-body)))
    (XPhBodyAddAngularForce crab-body (list 0 (* m (- (* 60.0 yaw) (* 20.0 (vy spin)))) 0))
    (XPhBodyAddLinearForce crab-body
                           (list 0 0 (* m (- (* 2.0 (- crab-line (vz (body-pos crab-body))))
                                             (* 2.0 (vz (XPhBodyGetVelocity crab-body)))))))))

; The stride for walking to and fro: ten seconds one way, ten seconds back, turning smoothly through standing still
; (a stride that changes at once jerks every joint).
(defun crab-to-and-fro (seconds stride)
  (* stride (clamp (* 3.0 (sin (* seconds (/ (PI) 10.0)))) -1.0 1.0)))

; A walking cycle takes about 1.6 seconds (4 radians a second).
(defun crab-walk (stride)
  (setq crab-clock (+ crab-clock (* (GetSimulationStepSize) 4.0)))
  (let ((legs crab-legs)
        (yaw (crab-yaw)))
    (while legs
      (crab-leg-step (car legs) stride crab-clock yaw)
      (setq legs (cdr legs)))
    (crab-balance yaw)))

;---- The crane on the crab's back (the crab crane scenes) ---------------------------------------------------------
; A boom hinged on top of the dome leans up over the crab's front (+z); its joint raises and lowers it (luffing). A
; hook block hangs from the boom's tip on a joint of its own, free to swing, over the middle of the legs' stance.
; (crab-crane load-mass load-size) adds it to crab-body and returns the hanging block (load-size scales the block of
; 1.6 x 1.2 x 1.6); (crab-luff angle) holds the boom at an angle above level (radians).

(def crab-boom-joint nil)
(def crab-boom nil)
(def crab-hook nil)
(def crab-hook-joint nil)
(def crab-boom-mass 0.3)
(def crab-boom-half 3.5)       ; the boom is 7 long
(def crab-boom-build 1.1)      ; the boom is built raised by this angle: its joint's angle 0

(defun crab-crane (load-mass load-size)
  (let* ((body crab-body)
         (place-now (body-mat crab-body))
         (c (cos crab-boom-build))
         (s (sin crab-boom-build)))
    (SetXPhBodyMat body (mat-at 0 0 0))
    ; the boom, hinged at (0 3.4 0), its middle half a boom up along its raised direction
    (def crab-boom (make-body "lbox.x" 0.3 0.3 crab-boom-half crab-boom-mass))
    (paint crab-boom 0.95 0.80 0.15)
    (def crab-boom-joint
      (hinge body crab-boom (mat-turn-x (- 0.0 crab-boom-build) 0 (+ 3.4 (* crab-boom-half s)) (* crab-boom-half c))
             '(0 3.4 0) '(1 0 0) 1.0))
    (XPhBodyJointLimitFlag crab-boom-joint nil)
    ; the hook block hangs straight down, 2 below the tip (seen from the boom, down is (0 -c -s))
    (def crab-hook (make-body "lbox.x" (* 0.8 load-size) (* 0.6 load-size) (* 0.8 load-size) load-mass))
    (paint crab-hook 0.25 0.25 0.30)
    (def crab-hook-joint
      (hinge crab-boom crab-hook (mat-turn-x crab-boom-build 0 (* -2.0 c) (- crab-boom-half (* 2.0 s)))
             (list 0 0 crab-boom-half) '(1 0 0) 1.0))
    (XPhBodyJointLimitFlag crab-hook-joint nil)
    (XPhJointSetRotationalDamper crab-hook-joint 0.3)
    (SetXPhBodyMat body place-now)
    crab-hook))

; Holds the boom at an angle above level: a spring and a damper on its joint, and the weight of the boom and of the
; hook held (the hook hangs at the tip, a whole boom from the joint). A negative joint angle raises the boom.
(defun crab-luff (angle)
  (let* ((th (XPhJointGetTheta crab-boom-joint))
         (above (- crab-boom-build th)))
    (XPhJointSetTorque crab-boom-joint
                       (- (- (* 60.0 (- (- crab-boom-build angle) th)) (* 30.0 (XPhJointGetDTheta crab-boom-joint)))
                          (* (cos above) (* 9.8 (* crab-boom-half (+ crab-boom-mass
                                                                      (* 2.0 (XPhBodyGetMass crab-hook))))))))))
