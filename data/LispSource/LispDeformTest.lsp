; LispDeformTest.lsp ("Deform Test Implement"): a deformable body. A soft rounded cube drops onto the floor and
; wobbles; then a heavy press comes down on it every six seconds, squashes it and is lifted again, and the cube
; takes back its shape. Drag the cube or the press with the left mouse button.

; The cube: its vertices follow a lattice of 3 x 3 x 3 particles joined by springs.
(def jelly (LoadXPhEasyDeformableObj "softbox.x"))
(SetXPhBodyMat jelly (mat-at 0 6 0))
(def jelly-rest-height 3.98)

; The press: a heavy slab above the cube, held by the script while it waits, dropped, and lifted again.
(def press (make-body "lbox.x" 3 0.8 3 10.0))
(paint press 0.45 0.45 0.50)
(place press 0 14 0)
(def press-top 14.0)
(def press-state 'hold)
(def press-frames 0)
(defun press-next (s) (setq press-state s) (setq press-frames 0))
(defun press-step (b)
  (setq press-frames (+ press-frames 1))
  (if (eq press-state 'hold)
      (progn (XPhBodySetVelocity b (list 0 (* 5.0 (- press-top (vy (body-pos b)))) 0))
             (XPhBodySetAVelocity b '(0 0 0))
             (if (> press-frames 200) (press-next 'drop) nil))
      (if (> press-frames 100) (press-next 'hold) nil)))
(XPhBodySetFunction press press-step)

; The cube's height now, from its box.
(defun jelly-height () (- (body-top jelly) (body-bottom jelly)))

(look-at '(0 9 -24) '(0 3 0))
(status "Deform Test: the press squashes the soft cube, and the cube takes back its shape.")
