; DefaultWorld.lsp: the world every scene of the demo starts from. The demo loads it before each scene's own file;
; loading it again starts the world afresh: the bodies of the scene before are taken away.
;
; What it makes: the world's parameters, a floor (a slab 320 across whose top is at height 0), the camera and
; the mouse: the left button drags a body.

(load "pomulib.lsp")

(DeleteAllXPhBody)
(def scene-land nil)
(SetXPhSimulationFlag t)

; Contacts: springs and dampers that keep bodies from sinking in, friction that lets them stand and roll.
(SetInterferencePermitDistance 0.1)
(SetCollisionSpringCoeff 20.5)
(SetCollisionVerticalDamperCoeff 0.45)
(SetCollisionHorizontalDamperCoeff 0.0)
(SetCollisionStaticFrictionCoeff 1.8)
(SetCollisionDynamicFrictionCoeff 0.1)
(SetCollisionReboundCoeff 0.1)
(SetCollisionSatisfyCoefficientScale 10.0)
(SetCollisionSatisfyMode 2)
(SetCollisionSatisfyRepeatMax 128)
(SetLinkSatisfyRepeatMax 4)
(SetRetryCollisionMax 6)
(SetGravity 9.8)
; One step of 0.02 seconds in every frame.
(SetSimulationStepSize 0.02)
(SetSimulationRepeatSize 1000)

(def floor (make-body "floor.x" 1 1 1 1000.0))
(fix-body floor)

(look-at '(0 12 -45) '(0 2 0))
(XPhBgColor 96 128 176)
(XPhFogEnable nil)
(use-mouse-drag)
(status "Orvelle Physics Engine: drag a body with the left mouse button.")
