; pomudemo.lsp ("AllDemo"): runs the demonstrations one after another, twenty seconds each, round and round. Each
; starts from the default world as it does from its own menu entry. In the demo program the console gets a menu
; "AllDemo" whose "Next" skips to the next demonstration.

(def alldemo-scenes
  '(("Blocks.lsp" "Blocks")
    ("stackobjects.lsp" "Stack Objects")
    ("LispAutoMobileLand.lsp" "Land Car")
    ("LispAutoMobilePalace.lsp" "Palace Car")
    ("LispCraneAutoTest2.lsp" "Crane Car")
    ("LispCrabWalk.lsp" "Crab Walk")
    ("LispCrabCrane.lsp" "Crab Crane")
    ("LispCrabCraneHeavy.lsp" "Crab Crane (Heavy)")
    ("v1_0_2/inverse_pendulum_test4.lsp" "Inverse Pendrum")
    ("LispDeformTest.lsp" "Deform Test")
    ("TwoLegTest.lsp" "Two Leg")))
(def alldemo-count 11)
(def alldemo-seconds 20.0)
(def alldemo-index -1)
(def alldemo-time 0.0)

; The director: a body with no mesh, fixed where it is, whose script function counts the simulated time after every
; step and starts the next demonstration when the time is up. Loading a demonstration loads the default world
; first, which takes every body away, the director too: each demonstration gets a director of its own.
(defun alldemo-director ()
  (let ((d (MakeEmptyXPhBody)))
    (fix-body d)
    (XPhBodySetFunction d alldemo-tick)
    d))
(defun alldemo-tick (b)
  (setq alldemo-time (+ alldemo-time (GetSimulationStepSize)))
  (if (> alldemo-time alldemo-seconds) (alldemo-next) nil))

(defun alldemo-next ()
  (setq alldemo-index (mod (+ alldemo-index 1) alldemo-count))
  (setq alldemo-time 0.0)
  (let ((scene (select alldemo-scenes alldemo-index)))
    (load "DefaultWorld.lsp")
    (load (car scene))
    (alldemo-director)
    (status (strcat "AllDemo " (PrintString (+ alldemo-index 1)) "/" (PrintString alldemo-count) ": "
                    (select scene 1)))))

(alldemo-next)
(if (have-builtin 'SetLispConsoleMenu)
    (SetLispConsoleMenu "AllDemo" "Next" '(lambda () (alldemo-next)))
    nil)
