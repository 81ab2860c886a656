; Script 3D objects.
(def o (CreateEmptyFrame))
o
(SetPosition o 1.0 2.0 3.0)
(SetVelocity o 0.5 0.0 0.0)
(SetRotation o 0.0 1.0 0.0)
(SetPosition o 1 2.0 3.0)
(SetVelocity o 1.0 2.0)
(SetRotation (XPhPIDMake) 0.0 1.0 0.0)
(def x (LoadXObj "lbox.x"))
x
(LoadXObj "no-such-file.x")
(LoadXObj 5)
(CreateEmptyFrame 1)
(ZevLisp3DTest1)
(ZevLisp3DTest0)
