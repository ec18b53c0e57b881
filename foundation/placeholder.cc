// The foundation of the tree: strings and sequences.
