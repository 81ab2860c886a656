; LoadWorld.lsp ("Load Orvelle Physics Lisp File"): the default world, and a file dialog in which to choose a script
; (a scene of LispSource, or one of your own) to load into it. The console gets a menu "Scene" whose "Load Lisp
; File..." opens the dialog again. Where there is no dialog (a host without a console), the world stays as it is.

(defun loadworld-choose ()
  (let ((file (OpenFileDialog "LispSource" "*.lsp")))
    (if file (load file) nil)))

(status "Load: choose a Lisp file to run in this world.")
(if (have-builtin 'OpenFileDialog)
    (progn (if (have-builtin 'SetLispConsoleMenu)
               (SetLispConsoleMenu "Scene" "Load Lisp File..." '(lambda () (loadworld-choose)))
               nil)
           (loadworld-choose))
    (status "No file dialog here: load a file with (load \"name.lsp\")."))
