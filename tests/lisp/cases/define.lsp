; def, defun, setq, let and let*
(def x 5)
x
(def car 5)
(car '(9))
(def y)
(def 'y (+ 1 1) 3)
(def v (car nil))
(defun sq (a) (* a a))
(sq 12)
(def df 'defun)
(df 'w '(lambda () 7))
(w)
(df 5 6)
(df 'w)
(defun 5 6)
(setq x 6)
x
(setq z (car nil))
(setq 5 6)
(let ((x 1)) (setq x 2) x)
x
(let ((a 1) (b (+ a 1))) b)
(let* ((a 1) (b (+ a 1))) b)
(let () 1)
(let ((a 1)))
(let (a) 1)
(let ((a)) 1)
(let ((5 1)) 1)
(let)
(def aa 'before)
(let ((aa 1) (bb (car nil))) aa)
aa
bb
(let ((aa 1)) (car nil) 2)
aa
