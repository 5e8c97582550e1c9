#pragma once

class TFormMain;

// Drives the window from commands on standard input, one per line, for tests that run the real
// program as a child process (VIDAZOROV_DRIVER=stdin). Never active otherwise.
//   start | lap <start number> | stop | reset | quit
// After each command the window's answer goes to standard output: "row <r>" and the row's cells
// separated by tabs for a lap, "ok <command>" for the others.
void InstallStdinDriver(TFormMain& form);
bool StdinDriverRequested();
