#include "support/ini_file.h"

#include "support/ascii.h"
#include "support/errors.h"
#include "support/file_descriptor.h"
#include "support/regular_file.h"
#include "support/u_Utility.h"

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace korvista {

namespace {

constexpr std::size_t kMaxValueLength = 2047;

std::string TrimBlanks(std::string_view text) {
    return std::string(TrimAscii(text, kBlanks));
}

enum class LineKind { Other, Section, Entry };

struct Line {
    std::size_t start = 0;   // first byte of the line
    std::size_t textEnd = 0; // where its line break begins
    std::size_t end = 0;     // just past its line break
    LineKind kind = LineKind::Other;
    std::string name; // section name or key, as it stands
    std::size_t equals = 0;
};

class Document {
public:
    explicit Document(std::string content) : content_(std::move(content)) { Parse(); }

    const std::string& Content() const { return content_; }

    // The first section of that name: the index of its header line and of the line after its last.
    std::optional<std::pair<std::size_t, std::size_t>> FindSection(const std::string& section) const {
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            if (lines_[i].kind != LineKind::Section || !AsciiEqualsNoCase(lines_[i].name, section))
                continue;
            std::size_t last = i + 1;
            while (last < lines_.size() && lines_[last].kind != LineKind::Section)
                ++last;
            return std::make_pair(i, last);
        }
        return std::nullopt;
    }

    std::vector<std::string> Keys(const std::string& section) const {
        std::vector<std::string> keys;
        if (const auto range = FindSection(section)) {
            for (std::size_t i = range->first + 1; i < range->second; ++i) {
                if (lines_[i].kind == LineKind::Entry)
                    keys.push_back(lines_[i].name);
            }
        }
        return keys;
    }

    const Line* FindEntry(const std::string& section, const std::string& key) const {
        const auto range = FindSection(section);
        if (!range)
            return nullptr;
        for (std::size_t i = range->first + 1; i < range->second; ++i) {
            if (lines_[i].kind == LineKind::Entry && AsciiEqualsNoCase(lines_[i].name, key))
                return &lines_[i];
        }
        return nullptr;
    }

    std::string ValueOf(const Line& line) const {
        return content_.substr(line.equals + 1, line.textEnd - line.equals - 1);
    }

    std::string WithValue(const std::string& section, const std::string& key,
                          const std::string& value) const {
        const auto range = FindSection(section);
        if (!range) {
            return content_ + LineEndFor(content_.size()) + "[" + section + "]\r\n" + key + "=" + value +
                   "\r\n";
        }
        if (const Line* entry = FindEntry(section, key)) {
            return content_.substr(0, entry->start) + entry->name + "=" + value + "\r\n" +
                   content_.substr(entry->end);
        }
        // After the section's last line that holds anything, so blank lines before the next section stay.
        std::size_t anchor = range->first;
        for (std::size_t i = range->first + 1; i < range->second; ++i) {
            if (!TrimBlanks(Text(lines_[i])).empty())
                anchor = i;
        }
        const Line& after = lines_[anchor];
        return content_.substr(0, after.end) + LineEndFor(after.end) + key + "=" + value + "\r\n" +
               content_.substr(after.end);
    }

private:
    // What the text up to pos needs so that a new line can follow it. A lone CR ends a line too, but it
    // gets its LF so that the lines written here all end alike.
    std::string LineEndFor(std::size_t pos) const {
        if (pos <= bodyStart_ || content_[pos - 1] == '\n')
            return {};
        return content_[pos - 1] == '\r' ? "\n" : "\r\n";
    }

    std::string Text(const Line& line) const {
        return content_.substr(line.start, line.textEnd - line.start);
    }

    // Lines end in CR LF, LF or a lone CR. A UTF-8 byte-order mark before the first line is no part of
    // it; it stays in the content, so a write keeps it.
    void Parse() {
        constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
        bodyStart_ = std::string_view(content_).starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
        std::size_t start = bodyStart_;
        while (start < content_.size()) {
            Line line;
            line.start = start;
            const std::size_t lineBreak = content_.find_first_of("\r\n", start);
            line.textEnd = lineBreak == std::string::npos ? content_.size() : lineBreak;
            line.end = line.textEnd;
            if (line.end < content_.size())
                line.end += content_.compare(line.end, 2, "\r\n") == 0 ? 2 : 1;
            Classify(line);
            lines_.push_back(std::move(line));
            start = lines_.back().end;
        }
    }

    void Classify(Line& line) const {
        const std::string text = TrimBlanks(Text(line));
        if (text.empty() || text[0] == ';')
            return;
        if (text[0] == '[') {
            const std::size_t close = text.find(']');
            line.kind = LineKind::Section;
            line.name =
                TrimBlanks(text.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            return;
        }
        const std::size_t equals = content_.find('=', line.start);
        if (equals == std::string::npos || equals >= line.textEnd)
            return;
        line.name = TrimBlanks(content_.substr(line.start, equals - line.start));
        if (line.name.empty())
            return;
        line.kind = LineKind::Entry;
        line.equals = equals;
    }

    std::string content_;
    std::size_t bodyStart_ = 0; // past the byte-order mark
    std::vector<Line> lines_;
};

// The value trimmed, unquoted and cut to its longest; nullopt when the entry is absent.
std::optional<std::string> EntryValue(const Document& document, const std::string& section,
                                      const std::string& key) {
    const Line* entry = document.FindEntry(section, key);
    if (entry == nullptr)
        return std::nullopt;
    std::string value = TrimBlanks(document.ValueOf(*entry));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    if (value.size() > kMaxValueLength)
        value.resize(kMaxValueLength);
    return value;
}

enum class ReadResult { Read, Missing, Failed };

ReadResult ReadWhole(const std::string& path, std::string& content) {
    RegularFileRead read = ReadRegularFile(path);
    content = std::move(read.content);
    switch (read.status) {
    case RegularFileRead::Status::Read:
        return ReadResult::Read;
    case RegularFileRead::Status::Missing:
        return ReadResult::Missing;
    default:
        return ReadResult::Failed;
    }
}

bool WriteAllAt(int fd, const std::string& content) {
    std::size_t written = 0;
    while (written < content.size()) {
        const ssize_t count =
            ::pwrite(fd, content.data() + written, content.size() - written, static_cast<off_t>(written));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        written += static_cast<std::size_t>(count);
    }
    return true;
}

// Rewrites an existing file in place, so that its permissions, owner and links stay. Space for the new
// content is claimed first, so a full disk fails before anything of the old content is touched.
bool ReplaceContent(const std::string& path, const std::string& oldContent, const std::string& newContent) {
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0)
        return false;
    // A file that nobody may write is read-only also for a super-user, who would get it opened anyway.
    // The name may have been swapped for something else since it was read.
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return false;
    if (newContent.size() > oldContent.size() &&
        ::fallocate(file.get(), 0, 0, static_cast<off_t>(newContent.size())) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS)
        return false;
    if (WriteAllAt(file.get(), newContent) &&
        ::ftruncate(file.get(), static_cast<off_t>(newContent.size())) == 0)
        return true;
    if (WriteAllAt(file.get(), oldContent))
        (void)!::ftruncate(file.get(), static_cast<off_t>(oldContent.size()));
    return false;
}

// The settings hold connection strings with passwords: a new file is for its owner only.
bool CreateWithContent(const std::string& path, const std::string& content, bool& raced) {
    raced = false;
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (file.get() < 0) {
        raced = errno == EEXIST;
        return false;
    }
    if (WriteAllAt(file.get(), content))
        return true;
    ::unlink(path.c_str());
    return false;
}

} // namespace

IniFile::IniFile(std::string path) : path_(std::move(path)) {}

std::vector<std::string> IniFile::ReadSectionKeys(const std::string& section) const {
    std::string content;
    if (ReadWhole(path_, content) != ReadResult::Read)
        return {};
    return Document(std::move(content)).Keys(section);
}

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
    std::string content;
    if (ReadWhole(path_, content) != ReadResult::Read)
        return defaultValue;
    return EntryValue(Document(std::move(content)), section, key).value_or(defaultValue);
}

std::string IniFile::ReadPresentString(const std::string& section, const std::string& key) const {
    std::string content;
    if (ReadWhole(path_, content) != ReadResult::Read)
        return {};
    const Document document(std::move(content));
    if (document.Keys(section).empty())
        return {};
    return EntryValue(document, section, key).value_or(std::string());
}

void IniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    const Error failure(Format("Unable to write to %s", {path_}));
    // A line break would end the entry early and could smuggle in lines of its own.
    for (const std::string* text : {&section, &key, &value}) {
        if (text->find_first_of("\r\n") != std::string::npos)
            throw failure;
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::string content;
        const ReadResult read = ReadWhole(path_, content);
        if (read == ReadResult::Failed)
            throw failure;
        const std::string updated = Document(content).WithValue(section, key, value);
        if (read == ReadResult::Read) {
            if (ReplaceContent(path_, content, updated))
                return;
            throw failure;
        }
        bool raced = false;
        if (CreateWithContent(path_, updated, raced))
            return;
        if (!raced)
            throw failure;
    }
    throw failure;
}

void IniFile::Flush() {
    // Nothing is held back: every store has reached the file already.
}

} // namespace korvista
