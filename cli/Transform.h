// korvanith-cli's main command: the window's transform of two picture files.
#pragma once

#include <string>

namespace cli {

struct TransformOptions {
    int mode = 0;  // the window's radio group: 0 "Normal phase", 1 "Swap phase"
    bool crop = false;
    std::string left, right, leftResult, rightResult;
};

// Writes both results, or nothing; raises an Exception that says why not.
int Transform(const TransformOptions& options);

}  // namespace cli
