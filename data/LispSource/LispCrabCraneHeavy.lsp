; LispCrabCraneHeavy.lsp ("Crab Crane(Heavy)"): the crab robot with the crane on its back, and a heavy load on the
; crane's hook: an iron block of a third of the crab's own weight. It walks sideways to and fro with its load
; swinging, more slowly than without it, while the boom rises and falls.

(load "crab.lsp")

(def crab (make-crab 0 0))
(def crab-load (crab-crane 1.5 1.5))
(paint crab-load 0.20 0.20 0.22)
(def crab-steps 0)
(def crab-stride 0.3)
(defun crab-crane-step (b)
  (setq crab-steps (+ crab-steps 1))
  (crab-walk (crab-to-and-fro (* crab-steps (GetSimulationStepSize)) crab-stride))
  (crab-luff (+ 1.2 (* 0.1 (sin (* crab-steps (GetSimulationStepSize))))))
  (let ((p (body-pos b)))
    (look-at (vec+ p '(8 18 -40)) (vec+ p '(0 3 0)))))
(XPhBodySetFunction crab crab-crane-step)

(status "Crab Crane (Heavy): the crab robot walks with a heavy load hanging from its crane.")
