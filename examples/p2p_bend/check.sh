#!/usr/bin/env bash
# Compares the longitudinal force of the bunch deep in the bend (wake.dat,
# format fmt3) with the steady-state CSR wake of the Gaussian line charge,
# within 5% of its peak (../common/steady_wake.sh). The macro-particles
# carry Gaussian sub-bunches of rms sigma_long, so the line charge is their
# quiet-start distribution smoothed by it: sigma = sqrt(sigma_b^2 +
# sigma_long^2), sigma_b the rms of their path offsets. Run it in the run
# folder. bash and awk only.
set -u
here=$(cd "$(dirname "$0")" && pwd)
bash "$here/../common/steady_wake.sh" wake.dat 0.05 p2p_bend
