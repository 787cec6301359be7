* Load both programs while BASE still points at the system's own files.
quietly adopath
quietly personal
sysdir set UPDATES /sys/updates
sysdir set BASE /sys/base/
sysdir set SITE /sys/site
sysdir set PLUS /home/u/plus
sysdir set PERSONAL /home/u/personal
sysdir set OLDPLACE /home/u/old
adopath
adopath + /extra/dir
adopath ++ first
adopath - BASE
adopath - 2
display "$S_ADO"
adopath - nowhere
personal
