#!/usr/bin/env bash
# At the limits the longitudinal force (fmt3 column 8, eV/m) is that of the
# larger sizes within 0.1% (csr_p_to_p) and 0.3% (csr_g_to_m) of its peak;
# the transverse force (column 9) grows with the logarithm of the size, the
# thin-beam term, by the same step per decade within 1% (2%).
set -u
fail=0
# cmp A B C TOL1 TOL2: files of sizes s, 10 s and 100 s
cmp() {
  awk -v t1="$4" -v t2="$5" -v name="$1 $2 $3" '
    FNR == 1 { f++; next }
    { F1[f, FNR] = $8; F2[f, FNR] = $9; n = FNR
      if ($8 != $8 + 0 || $9 != $9 + 0 || $8 == "inf" || $8 == "nan") bad = 1 }
    END {
      peak = 0; d1 = 0; dd = 0
      for (i = 2; i <= n; i++) {
        for (k = 1; k <= 3; k++) if ((a = F1[k, i] < 0 ? -F1[k, i] : F1[k, i]) > peak) peak = a
        for (k = 2; k <= 3; k++) { d = F1[1, i] - F1[k, i]; if (d < 0) d = -d; if (d > d1) d1 = d }
        s1 = F2[1, i] - F2[2, i]; s2 = F2[2, i] - F2[3, i]
        r = (s1 - s2) / s2; if (r < 0) r = -r; if (r > dd) dd = r
      }
      printf "%s: longitudinal %.2e of the peak, transverse steps per decade differ by %.2e\n", name, d1 / peak, dd
      exit (bad || d1 > t1 * peak || dd > t2 || n < 6) }' "$1" "$2" "$3" || fail=1
}
cmp p2p_9.dat p2p_8.dat p2p_7.dat 1e-3 0.01
cmp g2m_7.dat g2m_6.dat g2m_5.dat 3e-3 0.02
exit $fail
