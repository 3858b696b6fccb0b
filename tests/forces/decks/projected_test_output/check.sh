#!/usr/bin/env bash
# "test" = "yes": each evaluation of the projected model logs "ctmin=",
# "ctmax=", "ctrms=", "ctsig=" (with nsam) and an empty line, and rewrites
# fc1_curr.dat, fc1_csr_w_sub.dat, fc1_csr_w_curr.dat (two c*t bounds, then
# one value per grid point or wake offset) and fc1.dat (one record per
# particle); without a wake_file there is no fc1_w_sub.dat. The files hold
# the last evaluation, made at the run's end positions: its forces are the
# stored ones of the fmt3 file, and its bounds those of the last log lines.
set -u
fail=0
err() { echo "$*"; fail=1; }
for f in stdout.txt steps.dat bend.dat fc1_curr.dat fc1_csr_w_sub.dat fc1_csr_w_curr.dat fc1.dat; do
  [ -f "$f" ] || { echo "missing $f"; exit 1; }
done
[ -e fc1_w_sub.dat ] && err "fc1_w_sub.dat written without a wake_file"
awk '
  function abs(v) { return v < 0 ? -v : v }
  function near(a, b, rel) { return abs(a - b) <= rel * (abs(a) + abs(b)) }
  FILENAME == "stdout.txt" {
    line[++nl] = $0
    if ($1 == "ctmin=") { ng++; start[ng] = nl }
    next }
  FILENAME == "steps.dat" { calls = $4 + 0; next }
  FILENAME == "bend.dat" && FNR == 1 { slong = $8 + 0; p0 = $2 * $2 - 1; p0 = sqrt(p0); next }
  FILENAME == "bend.dat" { np++; z[np] = $5 + 0; q[np] = $7 + 0; force[np] = $8 + 0; next }
  FILENAME == "fc1.dat" { nf++; f1[nf] = $3 + 0; next }
  { rec[FILENAME, FNR] = $1 + 0; nrec[FILENAME] = FNR }
  END {
    if (ng != calls || ng < 2) { printf "%d groups of test lines, %d evaluations counted\n", ng, calls; bad = 1 }
    for (g = 1; g <= ng; g++) {
      k = start[g]
      split(line[k + 1], a); split(line[k + 2], b); split(line[k + 3], c)
      if (a[1] != "ctmax=" || b[1] != "ctrms=" || c[1] != "ctsig=" || line[k + 4] != "") {
        printf "group %d of test lines out of order\n", g; bad = 1 }
    }
    k = start[ng]; split(line[k], lo); split(line[k + 1], hi); split(line[k + 2], rms); split(line[k + 3], sg)
    nsam = sg[3] + 0
    beta = p0 / sqrt(1 + p0 * p0)
    # the grid: bounds of the log lines, nsam points 0.2 s apart, s = sigma_t/sqrt(2)
    h = 0.2 * 0.7071067811865476 * slong / beta
    if (!near(sg[2], slong / beta, 1e-15)) { print "ctsig is not sigma_long/beta"; bad = 1 }
    if (!near(hi[2] - lo[2], (nsam - 1) * h, 1e-9)) { print "ctmax - ctmin is not (nsam - 1) h"; bad = 1 }
    # ctrms: the charge-weighted rms c*t of the bunch
    for (i = 1; i <= np; i++) { Q += q[i]; zq += q[i] * z[i] }
    for (i = 1; i <= np; i++) v += q[i] * (z[i] - zq / Q) ^ 2
    if (!near(rms[2], sqrt(v / Q) / beta, 1e-6)) { printf "ctrms %s, rms c*t %.10g\n", rms[2], sqrt(v / Q) / beta; bad = 1 }
    # record counts and bounds of the files
    want["fc1_curr.dat"] = nsam + 2; want["fc1_csr_w_curr.dat"] = nsam + 2
    want["fc1_csr_w_sub.dat"] = nsam + 25 + 2
    for (f in want) if (nrec[f] != want[f]) { printf "%s: %d records, expected %d\n", f, nrec[f], want[f]; bad = 1 }
    for (f in want) if (f != "fc1_csr_w_sub.dat" && (rec[f, 1] != lo[2] || rec[f, 2] != hi[2])) {
      printf "%s: bounds %s %s, log %s %s\n", f, rec[f, 1], rec[f, 2], lo[2], hi[2]; bad = 1 }
    if (!near(rec["fc1_csr_w_sub.dat", 1], (1 - nsam) * h, 1e-9) || !near(rec["fc1_csr_w_sub.dat", 2], 25 * h, 1e-9)) {
      print "fc1_csr_w_sub.dat: bounds are not (1 - nsam) h and 25 h"; bad = 1 }
    # the current holds the bunch charge, sum of I h / c, but for the tails
    # of the Gaussians beyond 5 rms (5.7e-7 of it)
    for (k = 3; k <= nsam + 2; k++) qc += rec["fc1_curr.dat", k] * h / 299792458
    if (!near(qc, Q, 1e-6)) { printf "charge of fc1_curr.dat %.10g C, bunch %.10g C\n", qc, Q; bad = 1 }
    # fc1.dat: the last evaluation is the stored force of the fmt3 file
    if (nf != np) { printf "fc1.dat: %d records for %d particles\n", nf, np; bad = 1 }
    for (i = 1; i <= np; i++) if (!near(f1[i] / 1.957047868709806e-06, force[i], 1e-10)) {
      printf "particle %d: fc1.dat %.12g eV/m, bend.dat %.12g eV/m\n", i, f1[i] / 1.957047868709806e-06, force[i]; bad = 1 }
    printf "%d evaluations, each with its five test lines; nsam = %d; files of the last one agree\n", ng, nsam
    exit bad
  }' stdout.txt steps.dat bend.dat fc1.dat fc1_curr.dat fc1_csr_w_sub.dat fc1_csr_w_curr.dat || fail=1
exit $fail
