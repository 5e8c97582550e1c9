// The serial port library.
