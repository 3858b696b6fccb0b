# no run: no step was made
! grep -q 'ctstep=' stdout.txt || { echo "a run was made"; exit 1; }
