; pomulib.lsp: the helpers that the demo scenes share: numbers, vectors, matrices, bodies, joints, the camera
; and dragging bodies with the mouse. DefaultWorld.lsp loads it, so every scene can use it.
;
; The language binds dynamically: a function's parameters are visible in every function it calls. The helpers
; therefore take short parameter names, and the scenes give their own globals longer ones.

; ---- Numbers -------------------------------------------------------------------------------------------------

(defun not (x) (if x nil t))
(defun abs (x) (if (< x 0) (- 0 x) x))
(defun sq (x) (* x x))
(defun clamp (x lo hi) (if (< x lo) lo (if (> x hi) hi x)))
; The value of a at t = 0 running to b at t = 1, held at both ends.
(defun blend (a b t0) (+ a (* (- b a) (clamp t0 0.0 1.0))))
; An angle brought into [-pi, pi].
(defun wrap-angle (a)
  (let ((w a))
    (while (> w (PI)) (setq w (- w (* 2.0 (PI)))))
    (while (< w (- 0.0 (PI))) (setq w (+ w (* 2.0 (PI)))))
    w))

; ---- Vectors: lists of three numbers -------------------------------------------------------------------------

(defun vx (v) (car v))
(defun vy (v) (select v 1))
(defun vz (v) (select v 2))
(defun vec+ (a b) (list (+ (vx a) (vx b)) (+ (vy a) (vy b)) (+ (vz a) (vz b))))
(defun vec- (a b) (list (- (vx a) (vx b)) (- (vy a) (vy b)) (- (vz a) (vz b))))
(defun vec* (a s) (list (* (vx a) s) (* (vy a) s) (* (vz a) s)))
(defun vec-dot (a b) (+ (* (vx a) (vx b)) (+ (* (vy a) (vy b)) (* (vz a) (vz b)))))
(defun vec-cross (a b)
  (list (- (* (vy a) (vz b)) (* (vz a) (vy b)))
        (- (* (vz a) (vx b)) (* (vx a) (vz b)))
        (- (* (vx a) (vy b)) (* (vy a) (vx b)))))
(defun vec-len (a) (sqrt (vec-dot a a)))
(defun vec-unit (a)
  (let ((n (vec-len a)))
    (if (> n 0.000001) (vec* a (/ 1.0 n)) (list 0.0 0.0 0.0))))
; The vector with its height dropped: its direction on the ground.
(defun vec-flat (a) (list (vx a) 0.0 (vz a)))

; ---- Matrices: the script form, three rows of the rotation and the position -------------------------------------

(defun mat-at (x y z) (list '(1 0 0) '(0 1 0) '(0 0 1) (list x y z)))
(defun mat-scale (sx sy sz) (list (list sx 0 0) (list 0 sy 0) (list 0 0 sz) '(0 0 0)))
; Turned by the angle a about the vertical, at (x y z); its z axis, the heading, is (sin a, 0, cos a).
(defun mat-turn-y (a x y z)
  (list (list (cos a) 0 (- 0.0 (sin a))) '(0 1 0) (list (sin a) 0 (cos a)) (list x y z)))
; Turned by a about z (x towards y), at (x y z).
(defun mat-turn-z (a x y z)
  (list (list (cos a) (sin a) 0) (list (- 0.0 (sin a)) (cos a) 0) '(0 0 1) (list x y z)))
; Turned by a about x (y towards z), at (x y z).
(defun mat-turn-x (a x y z)
  (list '(1 0 0) (list 0 (cos a) (sin a)) (list 0 (- 0.0 (sin a)) (cos a)) (list x y z)))
; The product a then b (points are rows: a point moved by a, then by b).
(defun mat-mul (a b)
  (let ((row '(lambda (r) (vec+ (vec+ (vec* (car b) (vx r)) (vec* (select b 1) (vy r))) (vec* (select b 2) (vz r))))))
    (list (row (car a)) (row (select a 1)) (row (select a 2)) (vec+ (row (select a 3)) (select b 3)))))
(defun mat-pos (m) (select m 3))
(defun mat-x-axis (m) (car m))
(defun mat-y-axis (m) (select m 1))
(defun mat-z-axis (m) (select m 2))
; The matrix with the given rows, placed at p: x, y and z are its axes.
(defun mat-rows (x y z p) (list x y z p))

; ---- Bodies --------------------------------------------------------------------------------------------------

; A body from a mesh file, its meshes scaled, with the mass and the box inertia of its new size.
(defun make-body (file sx sy sz mass)
  (let ((b (LoadXPhBody file)))
    (SetXPhVertexTransformMat b (mat-scale sx sy sz))
    (XPhBodySetMass b mass)
    (XPhBodySetInertiaTensor b (XPhBodyGetInertiaTensorFromAABB b))
    b))
; The same with a mesh of its own to show.
(defun make-shown-body (file shown sx sy sz mass)
  (let ((b (LoadXPhBody file)))
    (LoadXPhBodyVisual b shown)
    (SetXPhVertexTransformMat b (mat-scale sx sy sz))
    (XPhBodySetMass b mass)
    (XPhBodySetInertiaTensor b (XPhBodyGetInertiaTensorFromAABB b))
    b))
; Fixes the child to the parent where it is now; they move as one part, the parent's, which takes the inertia of
; the box round both (a part that kept only its own would be spun by every knock on the child).
(defun fix-to (parent child)
  (XPhBodyAddFixedChild parent child)
  (XPhBodySetInertiaTensor parent (XPhBodyGetInertiaTensorFromAABB parent)))
(defun place (b x y z) (SetXPhBodyMat b (mat-at x y z)))
(defun place-turned (b a x y z) (SetXPhBodyMat b (mat-turn-y a x y z)))
; A body that stays where it is: the world moves nothing that is fixed.
(defun fix-body (b) (SetXPhBodyPhysicsMode b 0))
(defun paint (b r g bl)
  (XPhBodySetVisualMaterial b (list (list r g bl 1.0) (list (* 0.45 r) (* 0.45 g) (* 0.45 bl) 1.0)
                                    '(0.35 0.35 0.35 1.0) 20.0)))
; Where a body is in the world (the matrix of a body attached to another is kept relative to that one; its world
; matrix is the one to read).
(defun body-mat (b) (GetXPhBodyGMat b))
(defun body-pos (b) (mat-pos (GetXPhBodyGMat b)))
(defun body-up (b) (mat-y-axis (GetXPhBodyGMat b)))
(defun body-speed (b) (vec-len (XPhBodyGetVelocity b)))
; The middle of a body's box: where a soft body is (its matrix stays the identity while its lattice moves it).
(defun body-middle (b)
  (let ((box (XPhBodyGetAABB b)))
    (vec* (vec+ (car box) (select box 1)) 0.5)))
; The lowest and highest point of a body's box.
(defun body-bottom (b) (vy (car (XPhBodyGetAABB b))))
(defun body-top (b) (vy (select (XPhBodyGetAABB b) 1)))

; ---- Joints --------------------------------------------------------------------------------------------------

; A joint of one axis between a parent and a child. The child is first put where it sits relative to the parent
; (the joint takes the child's matrix in the parent's frame); the anchor and the axis are in the parent's frame.
; The parent and the child do not collide with each other.
(defun hinge (parent child rel anchor axis size)
  (SetXPhBodyMat child rel)
  (let ((j (XPhBodyAddJointChild parent child anchor axis (if (> (abs (vy axis)) 0.9) '(1 0 0) '(0 1 0)) size)))
    (XPhBodyEnableCollisionPair parent child nil)
    j))
; Drives a joint towards an angle: a spring of stiffness k and a damper d on the joint's own angle and rate.
(defun drive-joint (j target k d)
  (XPhJointSetTorque j (- (* k (- target (XPhJointGetTheta j))) (* d (XPhJointGetDTheta j)))))

; ---- Camera --------------------------------------------------------------------------------------------------

; Puts the camera at eye looking at target, level (its x axis horizontal).
(defun look-at (eye target)
  (let* ((z (vec-unit (vec- target eye)))
         (x (vec-unit (vec-cross '(0 1 0) z)))
         (y (vec-cross z x)))
    (SetXPhCameraMat (mat-rows x y z eye))))
; A camera that follows a body from behind and above: back along its heading and up, looking at it.
(defun follow-camera (b back up)
  (let* ((p (body-pos b))
         (h (vec-unit (vec-flat (mat-z-axis (GetXPhBodyGMat b))))))
    (look-at (vec+ (vec- p (vec* h back)) (list 0 up 0)) p)))

; ---- Scene status and the console ----------------------------------------------------------------------------

; A builtin that only the demo program defines (the console's menu, the file dialogs, the render switch) is tested
; before it is called: a name read after a quote is the builtin itself when one is registered, and evaluates to
; itself only then. Reading the names here once, each after a quote, makes every one that is not a builtin an atom
; whose value is its own name, so that testing it never meets a name without a value (whose error would reach the
; caller).
(def demo-only-builtins (list 'SetLispConsoleMenu 'OpenFileDialog 'SaveFileDialog 'XPhSetRenderMoveFlag))
(defun have-builtin (f) (eq f (eval f)))
(defun status (text) (XPhSet_EasyViewText text))

; ---- Dragging with the mouse ---------------------------------------------------------------------------------
; The scene hands every mouse event to these with the buttons, the cursor and the ray through it (direction, then
; origin). The left button picks the body under the cursor; while it is held, the body is pulled towards the point
; of the ray at the distance where it was picked. Fixed bodies (floors, walls) are not moved.

(def drag-body nil)
(def drag-depth 0)
(defun left-button (buttons) (= (mod buttons 2) 1))
(defun drag-down (buttons x y dx dy dz ox oy oz)
  (if (left-button buttons)
      (let ((hit (XPhRayPick (list ox oy oz) (list dx dy dz))))
        (if hit
            (progn (def drag-body (car hit))
                   (def drag-depth (select hit 2)))
            (def drag-body nil)))
      nil))
(defun drag-move (buttons x y dx dy dz ox oy oz)
  (if drag-body
      (if (left-button buttons)
          (let ((target (vec+ (list ox oy oz) (vec* (list dx dy dz) drag-depth))))
            (XPhBodySetVelocity drag-body (vec* (vec- target (body-pos drag-body)) 5.0)))
          (def drag-body nil))
      nil))
(defun drag-up (buttons x y dx dy dz ox oy oz) (def drag-body nil))
(defun use-mouse-drag ()
  (SetMouseDownProc drag-down)
  (SetMouseMoveProc drag-move)
  (SetMouseUpProc drag-up))
