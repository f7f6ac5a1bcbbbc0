// What the subcommands of korvanith-cli share: exit statuses, opening a pair
// of pictures, the misfit pair's remedy, numbers in JSON.
#pragma once

#include <QString>

#include <string>
#include <vector>

#include "phase/Pair.h"
#include "platform/Graphics.h"

namespace cli {

constexpr int ExitFailure = 1;
constexpr int ExitUsage = 2;

// While it lives, standard error goes nowhere: decoders such as libpng write
// their own complaints there, and the refusal that follows says what is
// wrong in one line.
class SilencedStderr {
public:
    SilencedStderr();
    ~SilencedStderr();
    SilencedStderr(const SilencedStderr&) = delete;
    SilencedStderr& operator=(const SilencedStderr&) = delete;

private:
    int saved;
};

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

// Text for one line of standard error: control characters written out
// ("\n", "\t", "\x1B", ...) as ShownName writes them, so that a file name
// holding them cannot split the line or move the cursor.
std::string OneLine(const std::string& text);

// Writes "korvanith-cli: message" as one line of standard error.
void Say(const std::string& message);

// A wrong command line: one line that says what is wrong and where to look;
// gives ExitUsage.
int UsageError(const std::string& message);

// Whether two output names reach the same file by any route: the same path
// spelt otherwise ("./a.png", "x/../a.png"), symbolic links (also to a
// folder on the way), or hard links of one file.
bool SameFile(const std::string& a, const std::string& b);

// The folders on the way to a folder, made when missing; when the command
// refuses (the object goes without Keep), those it made are removed again,
// deepest first, as far as they are empty. Raises an Exception naming the
// folder that cannot be made, or a path that is a file.
class TMadeFolders {
public:
    explicit TMadeFolders(const std::string& folder);
    ~TMadeFolders();
    TMadeFolders(const TMadeFolders&) = delete;
    TMadeFolders& operator=(const TMadeFolders&) = delete;
    void Keep() { made.clear(); }

private:
    std::vector<std::string> made;  // outermost first
};

}  // namespace cli
