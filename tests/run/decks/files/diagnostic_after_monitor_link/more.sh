# fc1.dat holds the monitor's file (a header and 21 particles); the other
# diagnostic files were written
[ "$(wc -l < fc1.dat)" = 22 ] && [ "$(head -1 fc1.dat | awk '{ print NF }')" = 7 ] || { echo "fc1.dat is not the monitor's file"; exit 1; }
[ -s fc1_curr.dat ] && [ -s fc1_csr_w_curr.dat ] || { echo "the other diagnostic files are missing"; exit 1; }
