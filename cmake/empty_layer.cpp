// Stands in for the sources of a layer that has headers only.
