// The configuration dialog library.
