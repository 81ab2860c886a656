(def pathValue 'found)
