; PID controller objects: make, parameterise, feed and step; wrong objects answer nil.
(def p (XPhPIDMake))
p
(XPhPIDSetParam p 50 0 0)
(XPhPIDSetState p 0.25)
(XPhPIDSetTarget p 1)
(XPhPIDStep p 0.02)
(XPhPIDSetOutPutRange p -1 1)
(XPhPIDStep p 0.02)
(XPhPIDSetParam p 0 1 1)
(XPhPIDStep p 0.02)
(XPhPIDStep (LoadXPhBody "lbox.x") 0.02)
(XPhPIDSetState p "high")
