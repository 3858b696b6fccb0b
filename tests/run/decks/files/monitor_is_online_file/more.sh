# s.dat holds the step records of the run and nothing else
[ -s s.dat ] && awk 'NF != 8 { exit 1 }' s.dat || { echo "s.dat holds other records"; exit 1; }
