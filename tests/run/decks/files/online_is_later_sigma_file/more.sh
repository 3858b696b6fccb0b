# refused before the first layer: no lattice was read
! grep -q 'end of lattice definition' stdout.txt || { echo "a layer was carried out"; exit 1; }
