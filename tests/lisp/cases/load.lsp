; loading script files
(load "loaded.lsp")
loadedValue
(Load "nested.lsp")
(load "missing.lsp")
(load 5)
(load)
(load "loaded.lsp" 1)
(load "adir")
