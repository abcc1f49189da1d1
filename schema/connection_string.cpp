#include "schema/connection_string.h"

#include "support/ascii.h"
#include "support/errors.h"

#include <cstddef>
#include <string_view>

namespace korvista {

namespace {

bool IsBlank(char c) {
    return IsAnyOf(c, kLineBlanks);
}

char ClosingQuote(char open) {
    return open == '{' ? '}' : open;
}

// One key=value segment as it stands in the text; spans are [begin, end) offsets into it.
struct Segment {
    std::size_t start = 0, end = 0; // the whole entry: from just after the ";" before it to just past its own
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
        const std::size_t start = pos;
        while (pos < size && IsBlank(text[pos]))
            ++pos;
        if (pos < size && text[pos] == ';') {
            ++pos;
            continue;
        }
        if (pos >= size)
            break;

        Segment seg;
        seg.start = start;
        seg.keyBegin = pos;
        while (pos < size && text[pos] != '=' && text[pos] != ';')
            ++pos;
        seg.keyEnd = pos;
        while (seg.keyEnd > seg.keyBegin && IsBlank(text[seg.keyEnd - 1]))
            --seg.keyEnd;
        if (pos >= size || text[pos] == ';') {
            seg.valueBegin = seg.valueEnd = seg.keyEnd;
            if (pos < size)
                ++pos; // ';'
            seg.end = pos;
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
        seg.end = pos;
        segments.push_back(std::move(seg));
    }
    return segments;
}

enum class Fault { None, NoValue, NoKey, Unterminated, TrailingText };

Fault FaultOf(const Segment& seg) {
    if (!seg.hasEquals)
        return Fault::NoValue;
    if (seg.keyEnd == seg.keyBegin)
        return Fault::NoKey;
    if (seg.unterminated)
        return Fault::Unterminated;
    if (seg.trailingGarbage)
        return Fault::TrailingText;
    return Fault::None;
}

// 1-based, counting UTF-8 code points.
std::size_t CharacterNumber(std::string_view text, std::size_t offset) {
    std::size_t number = 1;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            ++number;
    }
    return number;
}

std::string Masked(std::string_view text, std::size_t from, std::size_t to) {
    std::string out(text.substr(0, from));
    out += "***";
    out += text.substr(to);
    return out;
}

// Whether the text before an "=" ends in a password key: all of it, or its last word.
bool EndsInPasswordKey(std::string_view text) {
    if (IsPasswordKey(text))
        return true;
    std::size_t end = text.size();
    while (end > 0 && IsBlank(text[end - 1]))
        --end;
    std::size_t begin = end;
    while (begin > 0 && !IsBlank(text[begin - 1]))
        --begin;
    return IsPasswordKey(text.substr(begin, end - begin));
}

// Where no structure can be trusted: the value of the first password key, wherever it stands (also
// inside a value or after stray words), runs to the end of the text. Keys end at "=" and start after
// ";", "=", a quote, a brace or the start of the text.
std::string MaskToEnd(std::string_view text) {
    std::size_t keyStart = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '=' && EndsInPasswordKey(text.substr(keyStart, i - keyStart))) {
            std::size_t value = i + 1;
            while (value < text.size() && IsBlank(text[value]))
                ++value;
            return Masked(text, value, text.size());
        }
        if (c == ';' || c == '=' || c == '"' || c == '\'' || c == '{' || c == '}')
            keyStart = i + 1;
    }
    return std::string(text);
}

// Values are connection strings of their own often enough (Extended Properties) to look into them.
constexpr int kMaxNesting = 4;

std::string MaskIn(std::string_view text, int depth) {
    if (depth > kMaxNesting)
        return MaskToEnd(text);
    const std::vector<Segment> segments = Scan(text);
    // A faulty entry after a password may be the rest of it: a ";" inside a value that is not quoted.
    std::size_t lastFault = std::string::npos;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (FaultOf(segments[i]) != Fault::None)
            lastFault = i;
    }

    std::string out;
    std::size_t copied = 0;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const Segment& seg = segments[i];
        if (!seg.hasEquals)
            continue;
        const std::size_t vb = seg.valueBegin;
        const std::size_t ve = seg.valueEnd;
        const std::string_view raw = text.substr(vb, ve - vb);
        const bool quoted = !raw.empty() && (raw.front() == '"' || raw.front() == '\'' || raw.front() == '{');
        if (IsPasswordKey(text.substr(seg.keyBegin, seg.keyEnd - seg.keyBegin))) {
            // Only a properly closed quote says for sure where the value ends.
            const bool certain = quoted && !seg.unterminated && !seg.trailingGarbage;
            const bool toEnd =
                seg.unterminated || (!certain && lastFault != std::string::npos && lastFault > i);
            out.append(text, copied, vb - copied);
            out += "***";
            copied = toEnd ? text.size() : ve;
            if (toEnd)
                break;
            continue;
        }
        if (seg.unterminated || seg.trailingGarbage) {
            // Where the quoted value really ends is anybody's guess.
            const std::string masked = MaskToEnd(raw);
            if (masked != raw) {
                out.append(text, copied, vb - copied);
                out += masked;
                copied = text.size();
                break;
            }
            continue;
        }
        const std::string_view inner = quoted ? raw.substr(1, raw.size() - 2) : raw;
        const std::string masked = MaskIn(inner, depth + 1);
        if (masked != inner) {
            const std::size_t innerBegin = vb + (quoted ? 1 : 0);
            out.append(text, copied, innerBegin - copied);
            out += masked;
            copied = innerBegin + inner.size();
        }
    }
    if (copied < text.size())
        out.append(text, copied, std::string::npos);
    return out;
}

bool NeedsQuoting(const std::string& value) {
    if (value.empty())
        return false;
    const char first = value.front();
    return value.find(';') != std::string::npos || first == '"' || first == '\'' || first == '{' ||
           IsBlank(first) || IsBlank(value.back());
}

} // namespace

std::string ConnectionString::WithoutKey(const std::string& text, const std::string& key) {
    Parse(text);
    std::string out;
    std::size_t copied = 0;
    for (const Segment& seg : Scan(text)) {
        if (!AsciiEqualsNoCase(std::string_view(text).substr(seg.keyBegin, seg.keyEnd - seg.keyBegin), key))
            continue;
        out.append(text, copied, seg.start - copied);
        copied = seg.end;
    }
    out.append(text, copied, std::string::npos);
    return out;
}

ConnectionString ConnectionString::Parse(const std::string& text) {
    ConnectionString result;
    for (Segment& seg : Scan(text)) {
        // The message points at the place and quotes nothing: after a password with an unquoted ";"
        // the "key" that follows is a piece of that password.
        const std::string where = " at character " + std::to_string(CharacterNumber(text, seg.keyBegin));
        switch (FaultOf(seg)) {
        case Fault::NoValue:
            throw Error("Invalid connection string: the entry" + where + " has no \"=\" and no value");
        case Fault::NoKey:
            throw Error("Invalid connection string: a value without a key" + where);
        case Fault::Unterminated:
            throw Error("Invalid connection string: the quoted value of the entry" + where +
                        " has no closing quote");
        case Fault::TrailingText:
            throw Error("Invalid connection string: text after the quoted value of the entry" + where);
        case Fault::None:
            break;
        }
        result.entries_.emplace_back(text.substr(seg.keyBegin, seg.keyEnd - seg.keyBegin), std::move(seg.value));
    }
    return result;
}

// Repeated keys are kept as written; the first one counts, as for ODBC drivers.
std::optional<std::string> ConnectionString::Get(const std::string& key) const {
    for (const auto& [k, v] : entries_)
        if (AsciiEqualsNoCase(k, key))
            return v;
    return std::nullopt;
}

void ConnectionString::Set(const std::string& key, const std::string& value) {
    bool replaced = false;
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (!AsciiEqualsNoCase(it->first, key)) {
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
    std::erase_if(entries_, [&](const auto& entry) { return AsciiEqualsNoCase(entry.first, key); });
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

bool IsPasswordKey(std::string_view key) {
    key = TrimAscii(key, kLineBlanks);
    // Pwd1..3 and Password1..3 carry the further factors of a multi-factor login.
    for (const char* name : {"Password", "Pwd", "Passwd", "Pwd1", "Pwd2", "Pwd3", "Password1", "Password2",
                             "Password3"}) {
        if (AsciiEqualsNoCase(key, name))
            return true;
    }
    return false;
}

std::string MaskPasswords(const std::string& connectionString) {
    try {
        return MaskIn(connectionString, 0);
    } catch (...) {
        // Only allocation can fail here; a log line is not worth more than this.
        return "***";
    }
}

} // namespace korvista
