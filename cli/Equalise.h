// korvanith-cli equalise: a set of pictures equalised, with a report and two plots.
#pragma once

#include <QStringList>

// Runs the subcommand on the words after "equalise"; returns the exit status
// (0 written, 1 refused with nothing written, 2 a wrong command line).
int Equalise(const QStringList& arguments);
