// What the subcommands of korvanith-cli share: exit statuses, opening a pair
// of pictures, the misfit pair's remedy, numbers in JSON.
#pragma once

#include <QString>

#include <string>

#include "phase/Pair.h"
#include "platform/Graphics.h"

namespace cli {

constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

// The two pictures of a command, opened as the window's sides open them.
struct Pair {
    TPicture left, right;
    TPicture leftResult, rightResult;  // what the window's result panes would hold
};

// Opens both files; a failure names the file.
void OpenPair(Pair& pair, const std::string& left, const std::string& right);

// Raises an Exception unless the main command takes the pair; its words offer
// --crop where cropping would help.
void CheckPairFitsHere(const Pair& pair);

// The words that offer --crop for a pair that would fit cut to size.
std::string CropRemedy(const TCropSize& size);

// The prefix of every line the tool writes to standard error.
constexpr const char* Name = "korvanith-cli";

}  // namespace cli
