[ ! -e nofolder ] && [ ! -e latout.dat ] || { echo "an output was written"; exit 1; }
