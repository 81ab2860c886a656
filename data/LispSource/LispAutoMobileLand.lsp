; LispAutoMobileLand.lsp ("Land Car"): a car drives itself round a sandy track over the hills of a land made from
; a height map. The camera follows it.

(load "automobile.lsp")

; The land takes the place of the floor: 512 across, hills up to about 20 high, flat in the middle.
(DeleteXPhBody floor)
(def scene-land (XPhLoadLandWithScale "land.bmp" "landtex.bmp" 8 30 8))

; The track: a circle of radius 110 round the middle, driven anticlockwise seen from above.
(def land-track-radius 110.0)
(def land-car (make-automobile land-track-radius 16 0 0))

; Once a step: aim at the point of the circle a quarter of a radius ahead of the car and steer towards it.
(defun land-car-step (b)
  (let* ((p (body-pos b))
         (a (+ (atan2 (vz p) (vx p)) 0.25))
         (aim (list (* land-track-radius (cos a)) 0 (* land-track-radius (sin a))))
         (d (vec- aim p))
         (want (atan2 (vx d) (vz d)))
         (turn (wrap-angle (- want (automobile-heading b)))))
    (automobile-drive 15.0 (clamp (* 1.5 turn) -0.45 0.45))
    (follow-camera b 45 18)))
(XPhBodySetFunction land-car land-car-step)

(status "Land Car: the car drives itself round the track over the hills.")
