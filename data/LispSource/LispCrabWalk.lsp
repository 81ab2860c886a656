; LispCrabWalk.lsp ("Crab Walk"): a six-legged crab robot walks sideways, as crabs do: ten seconds towards +x,
; then ten seconds back, again and again. The camera follows it.

(load "crab.lsp")

(def crab (make-crab 0 0))
(def crab-steps 0)
(def crab-stride 0.35)
(defun crab-step (b)
  (setq crab-steps (+ crab-steps 1))
  (crab-walk (crab-to-and-fro (* crab-steps (GetSimulationStepSize)) crab-stride))
  (let ((p (body-pos b)))
    (look-at (vec+ p '(8 16 -38)) (vec+ p '(0 2 0)))))
(XPhBodySetFunction crab crab-step)

(status "Crab Walk: the crab robot walks sideways on two tripods of legs.")
