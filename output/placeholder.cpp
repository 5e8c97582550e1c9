// The office export library.
