# no run: no step was made, nothing written into the folders
! grep -q "ctstep=" stdout.txt && [ "$(ls out sub)" = "$(printf "out:\nREADME\n\nsub:\nREADME")" ] || { echo "a run was made or a file written"; exit 1; }
