; inverse_pendulum_test4.lsp ("Inverse Pendrum"): an inverted pendulum on a cart. A pole stands on a hinge on top of
; a cart with four free wheels; two PID controllers keep it up: one turns the pole's lean into a push on the cart,
; the other keeps the cart near its starting place by asking for a small lean towards it. Every eight seconds the
; pole gets a knock; drag the cart or the pole with the left mouse button to knock it yourself.

; The cart: 5 long (x), 1.2 high and 3 wide, on wheels of radius 0.8 that turn about z.
(def pend-cart (make-body "lbox.x" 2.5 0.6 1.5 2.0))
(paint pend-cart 0.20 0.45 0.85)
(SetXPhBodyMat pend-cart (mat-at 0 0 0))
(defun pend-wheel (x z)
  (let ((w (make-body "tire.x" 0.4 0.4 0.4 0.2)))
    (paint w 0.15 0.15 0.16)
    (let ((j (hinge pend-cart w (mat-at x -0.6 z) (list x -0.6 z) '(0 0 1) 0.5)))
      (XPhBodyJointGuessParam j)
      (XPhBodyJointLimitFlag j nil)
      (XPhJointSetRotationalDamper j 0.01)
      j)))
(pend-wheel 1.8 1.9)
(pend-wheel -1.8 1.9)
(pend-wheel 1.8 -1.9)
(pend-wheel -1.8 -1.9)

; The pole: 8 tall, hinged at the top of the cart so that it swings in the x-y plane, with a ball at its top.
(def pend-pole (make-body "lbox.x" 0.15 4 0.15 0.5))
(paint pend-pole 0.85 0.85 0.80)
(def pend-joint (hinge pend-cart pend-pole (mat-at 0 4.6 0) '(0 0.6 0) '(0 0 1) 0.5))
(XPhBodyJointLimitFlag pend-joint nil)
(XPhJointSetRotationalDamper pend-joint 0.0)
(def pend-bob (make-body "ball.x" 0.5 0.5 0.5 0.1))
(paint pend-bob 0.90 0.20 0.15)
(place pend-bob 0 8.6 0)
(XPhBodyAddFixedChild pend-pole pend-bob)
(SetXPhBodyMat pend-cart (mat-at 0 1.6 0))

; The pole's lean: positive when its top is towards +x (the joint's angle about +z counts the other way).
(defun pend-lean () (- 0.0 (XPhJointGetTheta pend-joint)))
(defun pend-cart-x () (vx (body-pos pend-cart)))

; The lean controller: the state is the lean, the target the lean the cart controller asks for; its output is the
; push on the cart along x. Proportional band 1 (a gain of 100), derivative time 0.5 s, no integral.
(def pend-lean-pid (XPhPIDMake))
(XPhPIDSetParam pend-lean-pid 1.0 0.0 0.5)
(XPhPIDSetOutPutRange pend-lean-pid -150.0 150.0)
; The cart controller: the state is the cart's place, the target 0; its output is the lean to ask for (a cart to
; the right of its place needs a lean to the left to come back).
(def pend-cart-pid (XPhPIDMake))
(XPhPIDSetParam pend-cart-pid 4000.0 0.0 1.5)
(XPhPIDSetOutPutRange pend-cart-pid -0.12 0.12)
(XPhPIDSetTarget pend-cart-pid 0.0)

(def pend-frames 0)
(defun pend-step (b)
  (setq pend-frames (+ pend-frames 1))
  (XPhPIDSetState pend-cart-pid (pend-cart-x))
  (let ((lean-wanted (XPhPIDStep pend-cart-pid 0.02)))
    (XPhPIDSetTarget pend-lean-pid lean-wanted)
    (XPhPIDSetState pend-lean-pid (pend-lean))
    (XPhBodyAddLinearForce b (list (- 0.0 (XPhPIDStep pend-lean-pid 0.02)) 0 0)))
  ; The knock: a sideways turn of the pole, once every eight seconds.
  (if (= (mod pend-frames 400) 0)
      (XPhBodySetAVelocity pend-pole (list 0 0 (if (= (mod pend-frames 800) 0) 0.8 -0.8)))
      nil))
(XPhBodySetFunction pend-cart pend-step)

(look-at '(0 7 -32) '(0 4 0))
(status "Inverse Pendrum: two PID controllers keep the pole up on the cart; it is knocked every eight seconds.")
