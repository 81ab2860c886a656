; stackobjects.lsp ("Stack Objects"): a wall of crates and a column of blocks stand on the floor until a heavy
; ball rolls into them, eight seconds after the start. Drag any of them with the left mouse button to push sooner.

(def stack-crates nil)
(def stack-column nil)

; A crate of 2 x 2 x 2 resting with its middle at (x y z).
(defun stack-crate (x y z r g bl)
  (let ((b (make-body "lbox.x" 1 1 1 1.0)))
    (paint b r g bl)
    (place b x y z)
    (def stack-crates (cons b stack-crates))
    b))
(defun stack-block (x y z)
  (let ((b (make-body "lbox.x" 0.8 1.0 0.8 0.8)))
    (paint b 0.85 0.30 0.20)
    (place b x y z)
    (def stack-column (cons b stack-column))
    b))

; The wall: four rows of crates, each row half a crate over the one below, as bricks are laid.
(def stack-row 0)
(while (< stack-row 4)
  (let ((n (- 4 stack-row))
        (x0 (- 0.0 (* 1.0 (- 3 stack-row))))
        (y (+ 1.0 (* 2.0 stack-row)))
        (k 0))
    (while (< k n)
      (stack-crate (+ x0 (* 2.0 k)) y 0 (+ 0.55 (* 0.1 stack-row)) 0.45 (- 0.35 (* 0.05 stack-row)))
      (setq k (+ k 1))))
  (setq stack-row (+ stack-row 1)))

; The column: five blocks one on the other, beside the wall.
(def stack-row 0)
(while (< stack-row 5)
  (stack-block 6 (+ 1.0 (* 2.0 stack-row)) 1)
  (setq stack-row (+ stack-row 1)))

(def stack-top (car stack-crates))

; The ball waits in front of the wall; after eight seconds it is sent rolling into it.
(def stack-ball (make-body "ball.x" 1.5 1.5 1.5 5.0))
(paint stack-ball 0.75 0.78 0.85)
(place stack-ball 1.5 1.5 -14)
(def stack-frames 0)
(def stack-push-frame 400)
(defun stack-step (b)
  (setq stack-frames (+ stack-frames 1))
  (if (= stack-frames stack-push-frame)
      (progn (XPhBodySetVelocity b '(0 0 16))
             (status "Pushed! The ball rolls into the stack."))
      nil))
(XPhBodySetFunction stack-ball stack-step)

(look-at '(10 12 -40) '(2 4 0))
(status "A wall of crates and a column of blocks stand until the ball comes (after eight seconds).")
