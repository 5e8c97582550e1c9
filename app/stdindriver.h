#pragma once

class TFormMain;

// Drives the window from commands on standard input, one per line, for tests that run the real
// program as a child process (VIDAZOROV_DRIVER=stdin). Never active otherwise.
//   start | lap <start number> | edit <start number> | stop | reset | live | quit
// After each command the window's answer goes to standard output: "row <r>" and the row's cells
// separated by tabs for a lap and for an edit of the newest row's start number, "live" and the
// live page's addresses separated by spaces (none while it is off), "ok <command>" for the
// others.
void InstallStdinDriver(TFormMain& form);
bool StdinDriverRequested();
