1
(load "loaded.lsp")
2
