# latout.dat holds the monitor's particle file: a header and one particle
[ "$(awk '{ print NF }' latout.dat | tr '\n' ' ')" = "7 7 " ] || { echo "latout.dat is not the monitor's file"; exit 1; }
