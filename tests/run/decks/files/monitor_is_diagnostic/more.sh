[ ! -e fc1.dat ] && [ ! -e latout.dat ] || { echo "an output was written"; exit 1; }
