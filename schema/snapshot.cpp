#include "schema/snapshot.h"

#include "support/ascii.h"
#include "support/errors.h"
#include "support/json_text.h"
#include "support/regular_file.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>

namespace korvista {

namespace {

constexpr const char* kFormat = "korvista-snapshot";

bool IsValidUtf8(const std::string& text) {
    QByteArray bytes = QByteArray::fromStdString(text);
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

std::string JsonString(const std::string& text) {
    return JsonStringLiteral(text);
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// A name as JSON text; names that are not UTF-8 keep their bytes as hexadecimal.
std::string NameMember(const std::string& name) {
    return IsValidUtf8(name) ? "\"name\": " + JsonString(name) : "\"nameHex\": " + JsonString(Hex(name));
}

std::string ColumnLine(const ColumnDescription& column) {
    std::string line = "{" + NameMember(column.name);
    line += ", \"type\": " + std::to_string(column.type);
    line += ", \"size\": " + std::to_string(column.definedSize);
    line += ", \"precision\": " + std::to_string(column.precision);
    line += ", \"scale\": " + std::to_string(column.numericScale);
    line += ", \"attributes\": " + std::to_string(column.attributes);
    line += ", \"autoIncrement\": ";
    line += column.isAutoIncrement ? (*column.isAutoIncrement ? "true" : "false") : "null";
    line += std::string(", \"nullable\": ") + (column.acceptsNull ? "true" : "false") + "}";
    return line;
}

// Where a value sits in the document, for messages: tables[2].columns[0].type.
class Place {
public:
    explicit Place(const std::string& file) : file_(file) {}
    [[noreturn]] void Fail(const std::string& path, const std::string& what) const {
        throw Error("The snapshot " + file_ + " is not valid at " + path + ": " + what + ".");
    }

private:
    std::string file_;
};

const QJsonValue& Require(const QJsonObject& object, const char* key, const std::string& path,
                          const Place& place, QJsonValue& holder) {
    if (!object.contains(QLatin1String(key)))
        place.Fail(path + "." + key, "the member is missing");
    holder = object.value(QLatin1String(key));
    return holder;
}

std::string RequireString(const QJsonObject& object, const char* key, const std::string& path,
                          const Place& place) {
    QJsonValue holder;
    const QJsonValue& value = Require(object, key, path, place, holder);
    if (!value.isString())
        place.Fail(path + "." + key, "a string was expected");
    return value.toString().toStdString();
}

bool RequireBool(const QJsonObject& object, const char* key, const std::string& path, const Place& place) {
    QJsonValue holder;
    const QJsonValue& value = Require(object, key, path, place, holder);
    if (!value.isBool())
        place.Fail(path + "." + key, "true or false was expected");
    return value.toBool();
}

std::int64_t RequireInteger(const QJsonObject& object, const char* key, const std::string& path,
                            const Place& place, std::int64_t min, std::int64_t max) {
    QJsonValue holder;
    const QJsonValue& value = Require(object, key, path, place, holder);
    const double number = value.toDouble();
    if (!value.isDouble() || std::floor(number) != number || number < static_cast<double>(min) ||
        number > static_cast<double>(max))
        place.Fail(path + "." + key,
                   "a whole number from " + std::to_string(min) + " to " + std::to_string(max) + " was expected");
    return static_cast<std::int64_t>(number);
}

std::string FromHex(const std::string& text, const std::string& path, const Place& place) {
    const auto digit = [&](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        place.Fail(path, "hexadecimal digits were expected");
    };
    if (text.size() % 2 != 0)
        place.Fail(path, "an even number of hexadecimal digits was expected");
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); i += 2)
        bytes += static_cast<char>(digit(text[i]) * 16 + digit(text[i + 1]));
    return bytes;
}

std::string ReadName(const QJsonObject& object, const std::string& path, const Place& place) {
    if (object.contains(QLatin1String("nameHex")))
        return FromHex(RequireString(object, "nameHex", path, place), path + ".nameHex", place);
    return RequireString(object, "name", path, place);
}

ColumnDescription ReadColumn(const QJsonValue& value, const std::string& path, const Place& place) {
    if (!value.isObject())
        place.Fail(path, "an object was expected");
    const QJsonObject object = value.toObject();
    constexpr auto int32Min = std::numeric_limits<std::int32_t>::min();
    constexpr auto int32Max = std::numeric_limits<std::int32_t>::max();
    ColumnDescription column;
    column.name = ReadName(object, path, place);
    column.type = static_cast<std::int32_t>(RequireInteger(object, "type", path, place, int32Min, int32Max));
    column.definedSize = static_cast<std::int32_t>(RequireInteger(object, "size", path, place, int32Min, int32Max));
    column.precision = static_cast<std::uint8_t>(RequireInteger(object, "precision", path, place, 0, 255));
    column.numericScale = static_cast<std::uint8_t>(RequireInteger(object, "scale", path, place, 0, 255));
    column.attributes = static_cast<std::uint32_t>(
        RequireInteger(object, "attributes", path, place, 0, std::numeric_limits<std::uint32_t>::max()));
    QJsonValue holder;
    const QJsonValue& autoIncrement = Require(object, "autoIncrement", path, place, holder);
    if (autoIncrement.isBool())
        column.isAutoIncrement = autoIncrement.toBool();
    else if (!autoIncrement.isNull())
        place.Fail(path + ".autoIncrement", "true, false or null was expected");
    column.acceptsNull = RequireBool(object, "nullable", path, place);
    return column;
}

TableSchema ReadTable(const QJsonValue& value, const std::string& path, const Place& place, bool& reachable) {
    if (!value.isObject())
        place.Fail(path, "an object was expected");
    const QJsonObject object = value.toObject();
    TableSchema table;
    table.name = ReadName(object, path, place);
    table.type = RequireString(object, "type", path, place);
    if (table.type != "TABLE" && table.type != "VIEW")
        place.Fail(path + ".type", "\"TABLE\" or \"VIEW\" was expected");
    reachable = !object.contains(QLatin1String("reachable")) || RequireBool(object, "reachable", path, place);
    if (object.contains(QLatin1String("error"))) {
        table.error = RequireString(object, "error", path, place);
        if (table.error.empty())
            place.Fail(path + ".error", "a message was expected");
        return table;
    }
    if (!reachable)
        return table;
    QJsonValue holder;
    const QJsonValue& columns = Require(object, "columns", path, place, holder);
    if (!columns.isArray())
        place.Fail(path + ".columns", "an array was expected");
    const QJsonArray array = columns.toArray();
    for (qsizetype i = 0; i < array.size(); ++i)
        table.columns.push_back(ReadColumn(array[i], path + ".columns[" + std::to_string(i) + "]", place));
    return table;
}

// Line and column (from 1) of a byte offset.
std::string LineAndColumn(const std::string& text, std::size_t offset) {
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

bool ReachableEntry(const DatabaseSchema& schema, std::size_t index) {
    const TableSchema* reached = schema.Find(schema.tables[index].name);
    return reached == &schema.tables[index];
}

} // namespace

std::string WriteSnapshot(const DatabaseSchema& schema) {
    std::string out = "{\n";
    out += "  \"format\": " + JsonString(kFormat) + ",\n";
    out += "  \"version\": " + std::to_string(kSnapshotVersion) + ",\n";
    out += std::string("  \"namesIgnoreCase\": ") + (schema.namesIgnoreAsciiCase ? "true" : "false") + ",\n";
    out += "  \"tables\": [";
    for (std::size_t i = 0; i < schema.tables.size(); ++i) {
        const TableSchema& table = schema.tables[i];
        out += i == 0 ? "\n" : ",\n";
        out += "    {" + NameMember(table.name) + ", \"type\": " + JsonString(table.type);
        if (!ReachableEntry(schema, i)) {
            out += ", \"reachable\": false}";
            continue;
        }
        if (!table.error.empty()) {
            // A message is text to show, not a key: repaired, it keeps the file readable JSON.
            out += ", \"error\": " + JsonString(QString::fromStdString(table.error).toStdString()) + "}";
            continue;
        }
        out += ", \"columns\": [";
        for (std::size_t c = 0; c < table.columns.size(); ++c)
            out += (c == 0 ? "\n      " : ",\n      ") + ColumnLine(table.columns[c]);
        out += table.columns.empty() ? "]}" : "\n    ]}";
    }
    out += schema.tables.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

DatabaseSchema ParseSnapshot(const std::string& text, const std::string& fileName) {
    const Place place(fileName);
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        throw Error("The snapshot " + fileName + " is not valid JSON at " +
                    LineAndColumn(text, static_cast<std::size_t>(parseError.offset)) + ": " +
                    parseError.errorString().toStdString() + ".");
    if (!document.isObject())
        place.Fail("the top level", "an object was expected");
    const QJsonObject root = document.object();
    if (RequireString(root, "format", "the top level", place) != kFormat)
        place.Fail("format", std::string("\"") + kFormat + "\" was expected");
    const std::int64_t version = RequireInteger(root, "version", "the top level", place, 0, 1000000);
    if (version != kSnapshotVersion)
        place.Fail("version", "this program reads version " + std::to_string(kSnapshotVersion) + ", not " +
                                  std::to_string(version));

    DatabaseSchema schema;
    schema.namesIgnoreAsciiCase = RequireBool(root, "namesIgnoreCase", "the top level", place);
    QJsonValue holder;
    const QJsonValue& tables = Require(root, "tables", "the top level", place, holder);
    if (!tables.isArray())
        place.Fail("tables", "an array was expected");
    const QJsonArray array = tables.toArray();
    for (qsizetype i = 0; i < array.size(); ++i) {
        bool reachable = true;
        schema.tables.push_back(ReadTable(array[i], "tables[" + std::to_string(i) + "]", place, reachable));
        if (reachable)
            schema.MarkReachable(schema.tables.size() - 1);
    }
    return schema;
}

DatabaseSchema ReadSnapshotFile(const std::string& fileName) {
    return ParseSnapshot(ReadRegularFileOrThrow(fileName, "snapshot"), fileName);
}

void WriteSnapshotFile(const DatabaseSchema& schema, const std::string& fileName) {
    const std::string text = WriteSnapshot(schema);
    const std::string temporary = fileName + ".tmp-" + std::to_string(::getpid());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        throw Error("The snapshot " + fileName + " cannot be written: " + std::strerror(errno) + ".");
    std::size_t written = 0;
    int error = 0;
    while (written < text.size()) {
        const ssize_t count = ::write(fd, text.data() + written, text.size() - written);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            error = errno;
            break;
        }
        written += static_cast<std::size_t>(count);
    }
    if (::fsync(fd) != 0 && error == 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.c_str(), fileName.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        throw Error("The snapshot " + fileName + " cannot be written: " + std::strerror(error) + ".");
    }
}

namespace {

class SnapshotSession final : public ProviderSession {
public:
    explicit SnapshotSession(DatabaseSchema schema) : schema_(std::move(schema)) {}

    Rowset TableCatalogue(bool) override {
        Rowset rowset;
        rowset.columns = {"TABLE_CATALOG", "TABLE_SCHEMA", "TABLE_NAME", "TABLE_TYPE"};
        for (const TableSchema& table : schema_.tables)
            rowset.rows.push_back({"", "", table.name, table.type});
        return rowset;
    }

    std::string IdentifierQuote() override { return "\""; }

    std::vector<ColumnDescription> DescribeQuery(const std::string&) override {
        throw Unreadable("A snapshot holds table descriptions only: it runs no query.");
    }

    std::vector<ColumnDescription> DescribeTable(const std::string& table) override {
        const TableSchema* found = schema_.Find(table);
        if (!found)
            throw Unreadable("The snapshot holds no table " + table + ".");
        if (!found->error.empty())
            throw Unreadable(found->error);
        return found->columns;
    }

    std::optional<DatabaseSchema> ReadSchema() override { return schema_; }

private:
    DatabaseSchema schema_;
};

} // namespace

std::unique_ptr<ProviderSession> OpenSnapshotSession(const ConnectionString& settings) {
    const std::optional<std::string> source = settings.Get("Data Source");
    if (!source || TrimAscii(*source, kBlanks).empty())
        throw Error("The connection string names no snapshot file: \"Data Source\" is missing or empty.");
    return std::make_unique<SnapshotSession>(ReadSnapshotFile(*source));
}

} // namespace korvista
