// The results grid library.
