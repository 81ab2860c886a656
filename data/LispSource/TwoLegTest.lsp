; TwoLegTest.lsp ("Two Leg(incomplete)"): a two-legged robot. It stands on its broad feet and bends its knees and
; hips to squat and rise again, keeping its body level; walking on two legs is left for later. Drag it with the left
; mouse button and it catches itself on its feet.

; Its joints are driven hard: two steps of 0.01 seconds in every frame.
(SetSimulationStepSize 0.01)
(SetSimulationRepeatSize 2000)

; Built standing with the pelvis at the origin: a hip 0.6 below the pelvis on each side (x = +-1.3), a thigh of 4
; down to the knee, a shin of 4 down to the ankle, a flat foot on the ankle.
(def biped-pelvis (make-body "lbox.x" 2 0.6 1 2.0))
(paint biped-pelvis 0.25 0.45 0.80)
(SetXPhBodyMat biped-pelvis (mat-at 0 0 0))
(def biped-chest (make-body "lbox.x" 1.6 1.8 0.8 0.1))
(paint biped-chest 0.30 0.55 0.90)
(place biped-chest 0 2.4 0)
(XPhBodyAddFixedChild biped-pelvis biped-chest)
(def biped-head (make-body "ball.x" 0.9 0.9 0.9 0.1))
(paint biped-head 0.90 0.85 0.75)
(place biped-head 0 5.1 0)
(XPhBodyAddFixedChild biped-pelvis biped-head)

(def biped-joints nil)   ; (hip knee ankle) of each leg
(defun biped-leg (x)
  (let ((thigh (make-body "lbox.x" 0.4 2 0.4 0.5))
        (shin (make-body "lbox.x" 0.35 2 0.35 0.5))
        (foot (make-body "lbox.x" 0.8 0.25 1.6 0.4)))
    (paint thigh 0.35 0.35 0.40)
    (paint shin 0.35 0.35 0.40)
    (paint foot 0.20 0.20 0.22)
    (let* ((hip (hinge biped-pelvis thigh (mat-at x -2.6 0) (list x -0.6 0) '(1 0 0) 1.0))
           (knee (hinge thigh shin (mat-at 0 -4 0) '(0 -2 0) '(1 0 0) 1.0))
           ; the ankle at the shin's foot; the sole 0.5 below it, the foot reaching forward more than back
           (ankle (hinge shin foot (mat-at 0 -2.25 0.6) '(0 -2 0) '(1 0 0) 1.0)))
      (XPhBodyJointLimitFlag hip nil)
      (XPhBodyJointLimitFlag knee nil)
      (XPhBodyJointLimitFlag ankle nil)
      (def biped-joints (cons (list hip knee ankle) biped-joints)))))
(biped-leg 1.3)
(biped-leg -1.3)
(SetXPhBodyMat biped-pelvis (mat-at 0 9.15 0))

; The squat: each thigh leans forward by a, each shin back by a (the knee bends by 2a), and the ankle turns the foot
; back flat: the pelvis goes straight down, level, over the middle of the feet. Once every five seconds it squats to
; a = 0.6 and rises again.
(def biped-steps 0)
(def biped-depth 0.6)
(defun biped-squat-angle (seconds)
  (* biped-depth (* 0.5 (- 1.0 (cos (* seconds (/ (* 2.0 (PI)) 5.0)))))))
(defun biped-step (b)
  (setq biped-steps (+ biped-steps 1))
  (let ((a (biped-squat-angle (* biped-steps (GetSimulationStepSize))))
        (legs biped-joints))
    (while legs
      (drive-joint (car (car legs)) (- 0.0 a) 300.0 15.0)
      (drive-joint (select (car legs) 1) (* 2.0 a) 300.0 15.0)
      (drive-joint (select (car legs) 2) (- 0.0 a) 200.0 10.0)
      (setq legs (cdr legs)))))
(XPhBodySetFunction biped-pelvis biped-step)

(look-at '(14 10 -26) '(0 6 0))
(status "Two Leg (incomplete): the two-legged robot squats and rises on its flat feet.")
