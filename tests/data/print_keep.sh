# A printer for the print tests: keeps what it is given in the file $1,
# and in $1.stdin the name of the file it read it from.
cat > "$1"
readlink /proc/$$/fd/0 > "$1.stdin"
