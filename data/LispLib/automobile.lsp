; automobile.lsp: the self-driving car of the car scenes: a chassis on four wheels whose joints drive them (rear
; and front) and steer the front pair. The chassis is 30 long and 10 wide; the wheels have a radius of 3.
;
; (make-automobile x y z heading) builds one with its middle at (x y z), its nose along the heading (radians about
; the vertical; 0 is +z) and returns the chassis. (automobile-drive speed steer) then sets, once a step, the speed
; the wheels aim for (units a second) and the steering angle of the front wheels (radians, positive to the left).

(def auto-wheel-radius 3.0)
(def auto-joints nil)
(def auto-front nil)
(def auto-body nil)

; One wheel: a drum of radius 3 turned to roll about x, hung from the chassis at (x y z) of its frame. Its joint
; turns freely about x; a front wheel also turns about the vertical to steer, within 0.5 radians.
(defun auto-wheel (chassis x y z steered)
  (let ((w (make-body "tire.x" 1.5 1.5 1.5 0.5)))
    (SetXPhVertexTransformMat w '((0 0 1) (0 1 0) (-1 0 0) (0 0 0)))
    (paint w 0.15 0.15 0.16)
    (let ((j (hinge chassis w (mat-at x y z) (list x y z) '(1 0 0) 1.0)))
      ; The joint's springs from the two masses and the step: stiff enough to carry the chassis.
      (XPhBodyJointGuessParam j)
      (XPhBodyJointLimitFlag j nil)
      (XPhJointSetRotationalDamper j 0.05)
      (if steered
          (progn (XPhJointSetAxisCount j 2)
                 (XPhJointSetMaxTheta2 j 0.5)
                 (XPhJointSetMinTheta2 j -0.5)
                 (XPhJointSetRotationalDamper2 j 0.5)
                 (def auto-front (cons j auto-front)))
          nil)
      (def auto-joints (cons j auto-joints))
      j)))

(defun make-automobile (x y z heading)
  (def auto-joints nil)
  (def auto-front nil)
  (let ((chassis (make-body "chassis.x" 1 1 1 4.0)))
    (SetXPhVertexTransformMat chassis '((0 0 -1.5) (0 1 0) (1 0 0) (0 0 0)))
    (XPhBodySetInertiaTensor chassis (XPhBodyGetInertiaTensorFromAABB chassis))
    (auto-wheel chassis 7.5 0.75 11.0 t)
    (auto-wheel chassis -7.5 0.75 11.0 t)
    (auto-wheel chassis 7.5 0.75 -11.0 nil)
    (auto-wheel chassis -7.5 0.75 -11.0 nil)
    (SetXPhBodyMat chassis (mat-turn-y heading x y z))
    (def auto-body chassis)
    chassis))

; The wheels aim for the speed with a torque that grows with the shortfall of their turning rate; the front wheels
; are held at the steering angle by a spring and a damper.
(defun automobile-drive (speed steer)
  (let ((rate (/ speed auto-wheel-radius))
        (js auto-joints))
    (while js
      (XPhJointSetTorque (car js) (clamp (* 20.0 (- rate (XPhJointGetDTheta (car js)))) -25.0 25.0))
      (setq js (cdr js)))
    (setq js auto-front)
    (while js
      (XPhJointSetTorque2 (car js) (- (* 60.0 (- steer (XPhJointGetTheta2 (car js))))
                                      (* 4.0 (XPhJointGetDTheta2 (car js)))))
      (setq js (cdr js)))))

; The heading of the car (radians about the vertical, 0 along +z) and its position.
(defun automobile-heading (b)
  (let ((h (mat-z-axis (GetXPhBodyGMat b))))
    (atan2 (vx h) (vz h))))
