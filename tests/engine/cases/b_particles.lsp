; Particle emitters on bodies; emission needs a view (none in the physics-only run).
(def b (LoadXPhBody "lbox.x"))
(XPhBodySetParticle b "smoke" "blue.BMP" 0)
(def e (XPhBodySetParticle b "smoke" "blue.BMP" 16))
e
(XPhMakeParticle e '(0 0 0) 0.1 '(0 1 0) 0.2 '(0 0 0) 0.1 '(1 1 1 1) '(-1 0 0 0) 1 0.2 1.5 2 8)
(PhOnlyStep 3)
(XPhBodySetParticle (XPhPIDMake) "smoke" "blue.BMP" 4)
(XPhBodySetParticle b "smoke" 4 4)
(DeleteXPhBody b)
(XPhMakeParticle e '(0 0 0) 0.1 '(0 1 0) 0.2 '(0 0 0) 0.1 '(1 1 1 1) '(-1 0 0 0) 1 0.2 1.5 2 8)
(PhOnlyStep 1)
; Particle objects in saved values: alone (holding an item of its own) and with the body that holds the item.
(def c (LoadXPhBody "lbox.x"))
(def f (XPhBodySetParticle c "spark" "blue.BMP" 4))
(SaveLispObject "spark.sav" (list c f))
(def v (LoadLispObject "spark.sav"))
v
(SaveLispObject "alone.sav" f)
(LoadLispObject "alone.sav")
(DeleteXPhBody c)
(SaveLispObject "bare.sav" f)
(LoadLispObject "bare.sav")
(PhOnlyStep 1)
