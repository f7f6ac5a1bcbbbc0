// File names as messages show them.
#include "platform/Exception.h"

#include <cstdio>

AnsiString ShownName(const AnsiString& fileName)
{
    AnsiString shown;
    shown.reserve(fileName.size());
    char code[8];
    for (std::size_t i = 0; i < fileName.size(); ++i) {
        const auto c = static_cast<unsigned char>(fileName[i]);
        const auto next = i + 1 < fileName.size() ? static_cast<unsigned char>(fileName[i + 1]) : 0;
        if (c == '\n')
            shown += "\\n";
        else if (c == '\r')
            shown += "\\r";
        else if (c == '\t')
            shown += "\\t";
        else if (c < 0x20 || c == 0x7f) {
            std::snprintf(code, sizeof code, "\\x%02X", c);
            shown += code;
        } else if (c == 0xc2 && next >= 0x80 && next <= 0x9f) {
            // U+0080..U+009F in UTF-8: C2 80..C2 9F
            std::snprintf(code, sizeof code, "\\u%04X", next);
            shown += code;
            ++i;
        } else
            shown += static_cast<char>(c);
    }
    return shown;
}
