(def loadedValue 42)
(+ loadedValue 1)
