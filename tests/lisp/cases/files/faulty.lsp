(def afterFaulty 1)
; a comma is no Lisp here
(def broken
   (list 1 , 2))
(def afterFaulty 2)
