; A body's script function may return the body itself, or a list holding it: the kept result goes with the body.
(def box (MakeEmptyXPhBody))
(XPhBodySetFunction box '(lambda (b) b))
(PhOnlyStep 2)
(eq (XPhBodyGetFuncResult box) box)
(def other (MakeEmptyXPhBody))
(XPhBodySetFunction other '(lambda (b) (list 'me b box)))
(PhOnlyStep 1)
(XPhBodyGetFuncResult other)
