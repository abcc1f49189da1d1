#pragma once

// JSON text written by hand where the layout matters (one entry per line, keys in a fixed order).

#include <cstdio>
#include <string>
#include <string_view>

namespace korvista {

// Appends text as a JSON string literal; the bytes are taken as they are (repair invalid UTF-8 first).
inline void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

inline std::string JsonStringLiteral(std::string_view text) {
    std::string out;
    AppendJsonString(out, text);
    return out;
}

} // namespace korvista
