; Blocks.lsp ("Demo Block"): a shower of blocks of several shapes falls onto the floor, tumbles and settles.
; Drag a block with the left mouse button to stir the heap again.

; A block: the mesh, its scale, its mass, its colour, where it starts and how it is turned (about y, then tilted
; about z).
(defun drop-block (file sx sy sz mass r g bl x y z yaw tilt)
  (let ((b (make-body file sx sy sz mass)))
    (paint b r g bl)
    (SetXPhBodyMat b (mat-mul (mat-turn-z tilt 0 0 0) (mat-turn-y yaw x y z)))
    b))

(def blocks
  (list (drop-block "lbox.x" 1.5 1.5 1.5 1.5  0.85 0.25 0.20   -6 9 -2   0.3 0.4)
        (drop-block "lbox.x" 2.0 0.6 1.0 1.0  0.95 0.75 0.20   -2 10 1   1.1 0.2)
        (drop-block "drum.x" 1.0 1.0 1.0 1.0  0.20 0.55 0.90    3 9 -1   0.0 1.2)
        (drop-block "wedge.x" 1.5 1.5 1.5 1.2 0.30 0.75 0.35    6 11 2   2.0 0.3)
        (drop-block "ball.x" 1.2 1.2 1.2 1.2  0.90 0.90 0.90    0 13 0   0.0 0.0)
        (drop-block "lbox.x" 1.0 1.0 1.0 0.6  0.60 0.30 0.80   -4 14 3   0.7 0.9)
        (drop-block "lbox.x" 2.5 0.5 0.8 1.0  0.95 0.50 0.15    4 15 -3  2.4 0.1)
        (drop-block "drum.x" 0.8 1.5 0.8 1.0  0.85 0.20 0.55   -1 17 -2  0.5 0.6)
        (drop-block "wedge.x" 1.0 1.0 2.0 1.0 0.25 0.70 0.75    2 18 3   1.3 0.8)
        (drop-block "lbox.x" 1.2 1.2 1.2 1.0  0.35 0.45 0.90   -3 20 0   0.9 0.3)
        (drop-block "ball.x" 0.8 0.8 0.8 0.5  0.95 0.80 0.30    1 22 -1  0.0 0.0)
        (drop-block "lbox.x" 1.5 0.8 1.5 1.2  0.55 0.80 0.25    3 24 1   0.2 1.0)))

(look-at '(0 14 -38) '(0 3 0))
(status "Blocks fall and settle. Drag one with the left mouse button.")
