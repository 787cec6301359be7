local fromfile "yes"
