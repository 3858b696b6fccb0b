grep -q 'marker= end' latout.dat || { echo "latout.dat is not the lattice summary"; exit 1; }
