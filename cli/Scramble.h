// korvanith-cli scramble: phase-scrambled stimuli of a set of pictures, with their manifest.
#pragma once

#include <QStringList>

// Runs the subcommand on the words after "scramble"; the application object must exist.
// Prints its own messages (one line each) and returns the exit status: 0 done, 1 refused
// (nothing written), 2 wrong command line.
int Scramble(const QStringList& arguments);
