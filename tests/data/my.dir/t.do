display "from my.dir"
