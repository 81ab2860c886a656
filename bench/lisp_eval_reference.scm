;; The short-list workloads of lisp_eval.cpp (BM_Records20k, BM_BuildAndWalkList100k) for a Scheme reference:
;; guile --no-auto-compile bench/lisp_eval_reference.scm prints the CPU time of one pass of each.
(use-modules (ice-9 format))
(define (len l) (let ((n 0)) (while (pair? l) (set! n (+ n 1)) (set! l (cdr l))) n))
(define (records n) (let ((l '())) (while (> n 0) (set! l (cons (list n (* n 2) (+ n 0.5) (list n n)) l)) (set! n (- n 1))) l))
(define (sumfirst l) (let ((s 0)) (while (pair? l) (set! s (+ s (car (car l)))) (set! l (cdr l))) s))
(define (build) (let ((l '()) (i 0)) (while (< i 100000) (set! l (cons i l)) (set! i (+ i 1))) (len l)))
(define (cpu) (/ (get-internal-run-time) (* 1.0 internal-time-units-per-second)))
(define (timeit name thunk reps)
  (thunk)
  (let ((t0 (cpu))) (do ((k 0 (+ k 1))) ((= k reps)) (thunk))
    (format #t "~a ~,2f ms\n" name (* 1000 (/ (- (cpu) t0) reps)))))
(timeit "Records20k" (lambda () (sumfirst (records 20000))) 30)
(timeit "BuildAndWalk100k" build 30)
