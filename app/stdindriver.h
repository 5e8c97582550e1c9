#pragma once

class TFormMain;

// Drives the window from commands on standard input, one per line, for tests that run the real
// program as a child process (VIDAZOROV_DRIVER=stdin). Never active otherwise.
//   start | lap <start number> | edit <start number> | stop | reset | rows | live | quit
//   delete <row> | insert <time> [<start number>] | swap <row> <row> | retime <row> <time> |
//   undo | redo | marks
// After each command the window's answer goes to standard output: "row <r>" and the row's cells
// separated by tabs for a lap and for an edit of the newest row's start number, one such line per
// row of the list for "rows", "mark <r>" and the row's notes for every corrected row for
// "marks", "live" and the live page's addresses separated by spaces (none
// while it is off), "ok <command>" for the others. Every question the program asks, the
// start-up's restore question among them, is printed as "ask <question>" and answered by the next
// line of input, "yes" or anything else for No; messages are printed as "error <text>" and
// "info <text>".
// InstallStdinDriverDialogs answers the questions from then on, so it comes before the window's
// start-up questions; InstallStdinDriver then takes the commands and says "ready".
void InstallStdinDriverDialogs();
void InstallStdinDriver(TFormMain& form);
bool StdinDriverRequested();
