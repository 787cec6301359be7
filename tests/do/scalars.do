scalar a = 2 + 3
scalar define b = "text"
scalar list a b
scalar drop a
scalar list a
scalar 1x = 2
scalar d 5
scalar list
