#pragma once

// The window fonts the program asks for have no metric-compatible stand-in in fontconfig's
// defaults ("MS Sans Serif" would fall back to a much wider face and clip the dialog's labels):
// point them at the Liberation fonts the install provides. Call once after the application
// object exists.
void InstallFontSubstitutes();
