// The root exception of the class library: a message text for the user, and
// file names as such a text shows them.
#pragma once

#include <exception>
#include <string>

using AnsiString = std::string;  // UTF-8 text

class Exception : public std::exception {
public:
    explicit Exception(AnsiString message) : Message(std::move(message)) {}
    const char* what() const noexcept override { return Message.c_str(); }

    AnsiString Message;
};

// A file name as a one-line message shows it: control characters, which would
// break the line or drive the terminal, are written out ("\n", "\r", "\t", and
// \xNN for the other C0 controls and DEL, \u0085 for the C1 controls); every
// other character is kept as it is.
AnsiString ShownName(const AnsiString& fileName);
