// The main window library.
