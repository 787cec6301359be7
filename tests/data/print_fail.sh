# A printer that refuses the job, after noting the file it was given.
readlink /proc/$$/fd/0 > failed.stdin
echo "printer out of paper"
exit 3
