; LispDeformTest.lsp ("Deform Test Implement"): a deformable body. A soft rounded cube drops onto the floor and
; wobbles; then a heavy press comes down on it every six seconds, squashes it and is lifted again, and the cube
; takes back its shape. Drag the cube or the press with the left mouse button.

; The cube: its vertices follow a lattice of 3 x 3 x 3 particles joined by springs.
(def jelly (LoadXPhEasyDeformableObj "softbox.x"))
(SetXPhBodyMat jelly (mat-at 0 6 0))
(def jelly-rest-height 3.98)

; The press: a heavy slab above the cube, held by the script while it waits, dropped, and lifted again. It is
; held level and moved over the cube while it waits, and falls straight down: a press that lands tilted or off
; the middle pushes the soft cube aside, and the next drop meets the floor.
(def press (make-body "lbox.x" 3 0.8 3 10.0))
(paint press 0.45 0.45 0.50)
(place press 0 14 0)
(def press-top 14.0)
; A press that falls faster than this squirts the cube out from under it.
(def press-speed 8.0)
(def press-state 'hold)
(def press-frames 0)
(defun press-next (s) (setq press-state s) (setq press-frames 0))
(defun press-step (b)
  (setq press-frames (+ press-frames 1))
  (XPhBodySetAVelocity b '(0 0 0))
  (if (eq press-state 'hold)
      (let ((p (body-pos b)) (c (body-middle jelly)))
        (SetXPhBodyMat b (mat-at (vx p) (vy p) (vz p)))
        (XPhBodySetVelocity b (list (* 5.0 (- (vx c) (vx p))) (* 5.0 (- press-top (vy p))) (* 5.0 (- (vz c) (vz p)))))
        (if (> press-frames 200) (press-next 'drop) nil))
      (progn (XPhBodySetVelocity b (list 0 (clamp (vy (XPhBodyGetVelocity b)) (- 0 press-speed) 100.0) 0))
             (if (> press-frames 100) (press-next 'hold) nil))))
(XPhBodySetFunction press press-step)

; The cube's height now, from its box.
(defun jelly-height () (- (body-top jelly) (body-bottom jelly)))

(look-at '(0 9 -24) '(0 3 0))
(status "Deform Test: the press squashes the soft cube, and the cube takes back its shape.")
