#include "schema/connection_string.h"

#include "support/errors.h"

#include <cstddef>
#include <string_view>

namespace korvista {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

char ClosingQuote(char open) {
    return open == '{' ? '}' : open;
}

bool KeyEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// One key=value segment as it stands in the text; spans are [begin, end) offsets into it.
struct Segment {
    std::size_t keyBegin = 0, keyEnd = 0;
    std::size_t valueBegin = 0, valueEnd = 0; // the value as written, quotes included
    bool hasEquals = false;
    bool unterminated = false;    // a quoted value runs to the end of the text
    bool trailingGarbage = false; // text between a closing quote and the next ';'
    std::string value;            // unquoted and unescaped
};

// Scans the text into segments; never fails, the flags say what was wrong.
std::vector<Segment> Scan(std::string_view text) {
    std::vector<Segment> segments;
    std::size_t pos = 0;
    const std::size_t size = text.size();
    while (pos < size) {
        while (pos < size && IsBlank(text[pos]))
            ++pos;
        if (pos < size && text[pos] == ';') {
            ++pos;
            continue;
        }
        if (pos >= size)
            break;

        Segment seg;
        seg.keyBegin = pos;
        while (pos < size && text[pos] != '=' && text[pos] != ';')
            ++pos;
        seg.keyEnd = pos;
        while (seg.keyEnd > seg.keyBegin && IsBlank(text[seg.keyEnd - 1]))
            --seg.keyEnd;
        if (pos >= size || text[pos] == ';') {
            seg.valueBegin = seg.valueEnd = seg.keyEnd;
            segments.push_back(std::move(seg));
            continue;
        }
        seg.hasEquals = true;
        ++pos; // '='
        while (pos < size && IsBlank(text[pos]))
            ++pos;
        seg.valueBegin = pos;

        if (pos < size && (text[pos] == '"' || text[pos] == '\'' || text[pos] == '{')) {
            const char close = ClosingQuote(text[pos]);
            ++pos;
            bool closed = false;
            while (pos < size) {
                if (text[pos] == close) {
                    if (pos + 1 < size && text[pos + 1] == close) {
                        seg.value += close;
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    closed = true;
                    break;
                }
                seg.value += text[pos++];
            }
            seg.valueEnd = pos;
            if (!closed) {
                seg.unterminated = true;
            } else {
                while (pos < size && text[pos] != ';') {
                    if (!IsBlank(text[pos]))
                        seg.trailingGarbage = true;
                    ++pos;
                }
                if (seg.trailingGarbage) {
                    seg.valueEnd = pos;
                    while (seg.valueEnd > seg.valueBegin && IsBlank(text[seg.valueEnd - 1]))
                        --seg.valueEnd;
                }
            }
        } else {
            while (pos < size && text[pos] != ';')
                ++pos;
            seg.valueEnd = pos;
            while (seg.valueEnd > seg.valueBegin && IsBlank(text[seg.valueEnd - 1]))
                --seg.valueEnd;
            seg.value.assign(text.substr(seg.valueBegin, seg.valueEnd - seg.valueBegin));
        }
        if (pos < size)
            ++pos; // ';'
        segments.push_back(std::move(seg));
    }
    return segments;
}

bool NeedsQuoting(const std::string& value) {
    if (value.empty())
        return false;
    const char first = value.front();
    return value.find(';') != std::string::npos || first == '"' || first == '\'' || first == '{' ||
           IsBlank(first) || IsBlank(value.back());
}

} // namespace

ConnectionString ConnectionString::Parse(const std::string& text) {
    ConnectionString result;
    for (Segment& seg : Scan(text)) {
        const std::string key = text.substr(seg.keyBegin, seg.keyEnd - seg.keyBegin);
        if (!seg.hasEquals)
            throw Error("Invalid connection string: \"" + key + "\" has no value");
        if (key.empty())
            throw Error("Invalid connection string: a value without a key");
        if (seg.unterminated)
            throw Error("Invalid connection string: the value of \"" + key + "\" has no closing quote");
        if (seg.trailingGarbage)
            throw Error("Invalid connection string: text after the quoted value of \"" + key + "\"");
        result.entries_.emplace_back(key, std::move(seg.value));
    }
    return result;
}

// Repeated keys are kept as written; the first one counts, as for ODBC drivers.
std::optional<std::string> ConnectionString::Get(const std::string& key) const {
    for (const auto& [k, v] : entries_)
        if (KeyEquals(k, key))
            return v;
    return std::nullopt;
}

void ConnectionString::Set(const std::string& key, const std::string& value) {
    bool replaced = false;
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (!KeyEquals(it->first, key)) {
            ++it;
        } else if (!replaced) {
            it->second = value;
            replaced = true;
            ++it;
        } else {
            it = entries_.erase(it); // a later repeat would otherwise contradict the new value
        }
    }
    if (!replaced)
        entries_.emplace_back(key, value);
}

void ConnectionString::Remove(const std::string& key) {
    std::erase_if(entries_, [&](const auto& entry) { return KeyEquals(entry.first, key); });
}

std::string ConnectionString::ToString() const {
    std::string out;
    for (const auto& [key, value] : entries_) {
        out += key;
        out += '=';
        if (NeedsQuoting(value)) {
            // ODBC drivers read braces; a closing brace inside is doubled.
            out += '{';
            for (char c : value) {
                out += c;
                if (c == '}')
                    out += '}';
            }
            out += '}';
        } else {
            out += value;
        }
        out += ';';
    }
    return out;
}

std::string MaskPasswords(const std::string& connectionString) {
    try {
        std::string out;
        std::size_t copied = 0;
        for (const Segment& seg : Scan(connectionString)) {
            const std::string_view key(connectionString.data() + seg.keyBegin, seg.keyEnd - seg.keyBegin);
            if (!seg.hasEquals || !(KeyEquals(key, "Password") || KeyEquals(key, "Pwd")))
                continue;
            out.append(connectionString, copied, seg.valueBegin - copied);
            out += "***";
            copied = seg.valueEnd;
        }
        out.append(connectionString, copied, std::string::npos);
        return out;
    } catch (...) {
        // Only allocation can fail here; a log line is not worth more than this.
        return "***";
    }
}

} // namespace korvista
