// tarvel: tracks an electron bunch through a beam line with its own
// retarded fields. Reads "tarvel.in" in the working directory.
#include "run/entry.hpp"

int main() { return run::process_main(); }
