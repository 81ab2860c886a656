; LispCrabCrane.lsp ("Crab Crane"): the crab robot carries a crane on its back. It walks sideways to and fro while
; the crane's boom rises and falls, a hook block swinging at its tip.

(load "crab.lsp")

(def crab (make-crab 0 0))
(def crab-load (crab-crane 0.2 1.0))
(def crab-steps 0)
(def crab-stride 0.35)
(defun crab-crane-step (b)
  (setq crab-steps (+ crab-steps 1))
  (crab-walk (crab-to-and-fro (* crab-steps (GetSimulationStepSize)) crab-stride))
  (crab-luff (+ 1.0 (* 0.25 (sin (* crab-steps (GetSimulationStepSize))))))
  (let ((p (body-pos b)))
    (look-at (vec+ p '(8 18 -40)) (vec+ p '(0 3 0)))))
(XPhBodySetFunction crab crab-crane-step)

(status "Crab Crane: the crab robot walks with a crane on its back; the boom rises and falls.")
