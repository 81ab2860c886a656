; LispCraneAutoTest2.lsp ("Crane Car"): a crane car works by itself. It drives up to a crate, lowers its boom until
; the magnet under the boom's tip meets the crate, lifts it, carries it a few car lengths, sets it down, backs off
; and comes for it again.

(load "automobile.lsp")

(def crane-car (make-automobile 0 4 0 0))
(paint crane-car 0.90 0.55 0.10)

; The boom: 20 long, hinged on the car's roof behind the cab and reaching 7 past the nose. Its joint's angle is 0
; when it lies level; a negative angle raises it.
(def crane-boom (make-body "lbox.x" 0.5 0.5 10 0.2))
(paint crane-boom 0.95 0.80 0.15)
(SetXPhBodyMat crane-car (mat-at 0 0 0))
(def crane-joint (hinge crane-car crane-boom (mat-at 0 5.5 12) '(0 5.5 2) '(1 0 0) 1.0))
; The magnet: a plate fixed under the tip.
(def crane-magnet (make-body "lbox.x" 1.5 0.25 1.5 0.1))
(paint crane-magnet 0.25 0.25 0.30)
(place crane-magnet 0 4.6 21)
(XPhBodyAddFixedChild crane-boom crane-magnet)
(SetXPhBodyMat crane-car (mat-at 0 4 0))

; The crate, waiting ahead and a little to the right.
(def crane-crate (make-body "lbox.x" 1.8 1.8 1.8 0.3))
(paint crane-crate 0.60 0.40 0.20)
(place crane-crate 4 1.8 50)

; The boom aims for an angle: a spring and a damper on its joint, and the weight of the boom held (the magnet and
; a crate on it move with the boom's own part).
(def crane-boom-aim -0.35)
(defun crane-hold-boom ()
  (let ((th (XPhJointGetTheta crane-joint)))
    (XPhJointSetTorque crane-joint
                       (- (- (* 60.0 (- crane-boom-aim th)) (* 45.0 (XPhJointGetDTheta crane-joint)))
                          (* (cos th) (* 9.8 (* 0.2 10.0)))))))

(defun crane-magnet-gap () (- (body-bottom crane-magnet) (body-top crane-crate)))
(defun crane-magnet-offset () (vec-len (vec-flat (vec- (body-pos crane-crate) (body-pos crane-magnet)))))

; The work, one state at a time: approach, lower, lift, carry, set down, back off, then approach again.
(def crane-state 'approach)
(def crane-frames 0)
(def crane-lifts 0)
(defun crane-next (s) (setq crane-state s) (setq crane-frames 0))

(defun crane-approach (b)
  (let* ((d (vec-flat (vec- (body-pos crane-crate) (body-pos b))))
         (reach (- (vec-len d) 21.5))
         (turn (wrap-angle (- (atan2 (vx d) (vz d)) (automobile-heading b)))))
    (setq crane-boom-aim -0.35)
    (automobile-drive (clamp (* 0.8 reach) -4.0 7.0) (clamp (* 1.5 turn) -0.45 0.45))
    (if (< (abs reach) 0.8)
        (if (< (body-speed b) 0.6) (crane-next 'lower) nil)
        nil)))

(defun crane-lower (b)
  (automobile-drive 0.0 0.0)
  (setq crane-boom-aim (+ crane-boom-aim 0.004))
  (cond ((< (crane-magnet-gap) 0.4)
         (if (< (crane-magnet-offset) 2.2)
             (progn (XPhBodyAddFixedChild crane-magnet crane-crate)
                    (setq crane-lifts (+ crane-lifts 1))
                    (crane-next 'lift))
             (crane-next 'back)))
        ((> (XPhJointGetTheta crane-joint) 0.4) (crane-next 'back))
        (t nil)))

(defun crane-lift (b)
  (automobile-drive 0.0 0.0)
  (setq crane-boom-aim (clamp (- crane-boom-aim 0.004) -0.45 1.0))
  (if (> crane-frames 150) (crane-next 'carry) nil))

(defun crane-carry (b)
  (automobile-drive 6.0 0.25)
  (if (> crane-frames 250) (crane-next 'set-down) nil))

(defun crane-set-down (b)
  (automobile-drive 0.0 0.0)
  (setq crane-boom-aim (+ crane-boom-aim 0.004))
  (if (< (body-bottom crane-crate) 0.3)
      (progn (XPhBodyRemoveChild crane-crate)
             (crane-next 'back))
      (if (> (XPhJointGetTheta crane-joint) 0.4)
          (progn (XPhBodyRemoveChild crane-crate) (crane-next 'back))
          nil)))

(defun crane-back (b)
  (setq crane-boom-aim -0.35)
  (automobile-drive -5.0 0.0)
  (if (> crane-frames 120) (crane-next 'approach) nil))

(defun crane-step (b)
  (setq crane-frames (+ crane-frames 1))
  (cond ((eq crane-state 'approach) (crane-approach b))
        ((eq crane-state 'lower) (crane-lower b))
        ((eq crane-state 'lift) (crane-lift b))
        ((eq crane-state 'carry) (crane-carry b))
        ((eq crane-state 'set-down) (crane-set-down b))
        (t (crane-back b)))
  (crane-hold-boom)
  (let ((p (body-pos b)))
    (look-at (vec+ p '(-55 25 10)) (vec+ p '(0 4 12)))))
(XPhBodySetFunction crane-car crane-step)

(status "Crane Car: the car picks up the crate with the magnet on its boom, carries it and sets it down.")
