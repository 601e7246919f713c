// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program without its window: splits, joins, checksums and comparisons
// from a shell or a script, on the window's engines. It needs Qt Core only
// (no display, no platform plugin).

// Whether the arguments ask for the command line (any long option, -h, -v)
// rather than the window.
bool isCommandLine(int argc, char** argv);

// Runs the command line and returns the exit status: 0 done (identical, all
// parts OK), 1 different, damaged or missing, 2 refused or failed (the reason
// on standard error, nothing left behind), 128 + signal after Ctrl+C (130)
// once the cancelled operation has cleaned up.
int runCommandLine(int argc, char** argv);
