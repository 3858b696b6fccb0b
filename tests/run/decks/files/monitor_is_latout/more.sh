# refused before the first layer: no latout.dat, no monitor file
[ ! -e latout.dat ] || { echo "latout.dat was written"; exit 1; }
