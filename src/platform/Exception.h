// The root exception of the class library: a message text for the user.
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
