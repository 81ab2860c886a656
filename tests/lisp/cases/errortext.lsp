; what an error says: the text the reader could not read, the name of what could not be called
(defun twice (x) (* 2 x))
(twice 4)
(thrice 4)
(def alias 'thrice)
(alias 4)
(list 1 , 2)
(load "faulty.lsp")
afterFaulty
(+ 1 2
