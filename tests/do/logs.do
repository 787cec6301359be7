log using results
log using plain.log, name(plain)
display "{txt}{hline 13}{c TT}{hline 11}"
display "{txt}{ralign 12:Variable} {c |}{ralign 10:Mean}"
display "{txt}{hline 13}{c +}{hline 11}"
display "{txt}{ralign 12:price} {c |} {res}{ralign 9:6165.257}"
display "{txt}{hline 13}{c BT}{hline 11}"
display "{p 4 8 2}Logs keep what the results show.  An NMCL log keeps the markup; a text log keeps the lines as they were drawn, with the rules turned into plain characters.{p_end}"
log off plain
display "only in the NMCL log"
log on plain
display as error "an error, in both"
quietly display "quiet, in neither"
log close plain
log close
log query
