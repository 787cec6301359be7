* the lumo_ host commands do what the environment's own commands do
lumo: x = (1,2,3)
lumo_describe
lumo_rename x y
lumo_which sqrt()
lumo_memory
display r(Ntotal) " " r(Mtotal)
lumo_drop y
lumo_drop y
lumo_memory
display r(Ntotal) " " r(Mtotal)
lumo: z = 1
lumo_clear
lumo: z
