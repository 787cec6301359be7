# Says whether the file named in $1 is still there.
if test -e "$(cat "$1")"; then echo "still there"; else echo "removed"; fi
