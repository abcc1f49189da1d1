#include "cli/report_json.h"

#include "cli/cli_output.h"
#include "support/errors.h"
#include "support/regular_file.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace korvista::cli {

namespace {

std::string JsonList(const std::vector<std::string>& items) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i)
        out += (i ? ", " : "") + JsonString(items[i]);
    return out + "]";
}

// Reads members and says where a report departs from what korvista-cli writes.
class ReportReader {
public:
    explicit ReportReader(std::string file) : file_(std::move(file)) {}

    [[noreturn]] void Fail(const std::string& place, const char* expected) const {
        throw Error("the report " + file_ + " is no report of korvista-cli: " + place + " should be " +
                    expected);
    }
    QJsonValue Member(const QJsonObject& object, const std::string& place, const char* key) const {
        if (!object.contains(QString::fromUtf8(key)))
            throw Error("the report " + file_ + " is no report of korvista-cli of this version: " + place +
                        key + " is missing");
        return object[QString::fromUtf8(key)];
    }
    QJsonObject Object(const QJsonObject& object, const std::string& place, const char* key) const {
        const QJsonValue value = Member(object, place, key);
        if (!value.isObject())
            Fail(place + key, "an object");
        return value.toObject();
    }
    QJsonArray Array(const QJsonObject& object, const std::string& place, const char* key) const {
        const QJsonValue value = Member(object, place, key);
        if (!value.isArray())
            Fail(place + key, "an array");
        return value.toArray();
    }
    std::string String(const QJsonObject& object, const std::string& place, const char* key) const {
        const QJsonValue value = Member(object, place, key);
        if (!value.isString())
            Fail(place + key, "a string");
        return value.toString().toStdString();
    }
    bool Bool(const QJsonObject& object, const std::string& place, const char* key) const {
        const QJsonValue value = Member(object, place, key);
        if (!value.isBool())
            Fail(place + key, "true or false");
        return value.toBool();
    }
    std::int64_t Integer(const QJsonObject& object, const std::string& place, const char* key,
                         std::int64_t min, std::int64_t max) const {
        const QJsonValue value = Member(object, place, key);
        const double number = value.toDouble(-1);
        if (!value.isDouble() || number != std::floor(number) || number < static_cast<double>(min) ||
            number > static_cast<double>(max))
            Fail(place + key,
                 ("a whole number from " + std::to_string(min) + " to " + std::to_string(max)).c_str());
        return static_cast<std::int64_t>(number);
    }
    std::vector<std::string> Strings(const QJsonObject& object, const std::string& place,
                                     const char* key) const {
        std::vector<std::string> items;
        for (const QJsonValue item : Array(object, place, key)) {
            if (!item.isString())
                Fail(place + key + "[]", "a string");
            items.push_back(item.toString().toStdString());
        }
        return items;
    }

    CompareOptions Switches(const QJsonObject& root) const {
        const QJsonObject switches = Object(root, "", "switches");
        CompareOptions options;
        options.switches.datatype = Bool(switches, "switches.", "datatype");
        options.switches.size = Bool(switches, "switches.", "size");
        options.switches.null = Bool(switches, "switches.", "null");
        options.switches.missing = Bool(switches, "switches.", "missing");
        options.bothWays = Bool(switches, "switches.", "bothWays");
        options.tables.include = Strings(switches, "switches.", "table");
        options.tables.exclude = Strings(switches, "switches.", "excludeTable");
        return options;
    }

    // "differences", "rows" and "errors"; an error without a table is a target's failure.
    TargetOutcome Result(const QJsonObject& object, const std::string& place) const {
        TargetOutcome outcome;
        outcome.result.count = static_cast<std::int32_t>(Integer(object, place, "differences", 0, INT32_MAX));
        const QJsonArray rows = Array(object, place, "rows");
        for (qsizetype i = 0; i < rows.size(); ++i) {
            const std::string at = place + "rows[" + std::to_string(i) + "].";
            if (!rows[i].isObject())
                Fail(at, "an object");
            const QJsonObject row = rows[i].toObject();
            outcome.result.rows.push_back({String(row, at, "table"), String(row, at, "field"),
                                           String(row, at, "db1"), String(row, at, "db2"),
                                           String(row, at, "difference")});
        }
        const QJsonArray errors = Array(object, place, "errors");
        for (qsizetype i = 0; i < errors.size(); ++i) {
            const std::string at = place + "errors[" + std::to_string(i) + "].";
            if (!errors[i].isObject())
                Fail(at, "an object");
            const QJsonObject error = errors[i].toObject();
            TableError tableError{String(error, at, "table"),
                                  static_cast<int>(Integer(error, at, "database", 1, 2)),
                                  String(error, at, "message")};
            if (tableError.table.empty() && outcome.failure.empty())
                outcome.failure = tableError.message;
            else
                outcome.result.errors.push_back(std::move(tableError));
        }
        return outcome;
    }

private:
    std::string file_;
};

} // namespace

std::string JsonSwitches(const CompareOptions& options) {
    const auto flag = [](bool on) { return on ? "true" : "false"; };
    const CompareSwitches& switches = options.switches;
    return std::string("{\"datatype\": ") + flag(switches.datatype) + ", \"size\": " + flag(switches.size) +
           ", \"null\": " + flag(switches.null) + ", \"missing\": " + flag(switches.missing) +
           ", \"bothWays\": " + flag(options.bothWays) + ", \"table\": " + JsonList(options.tables.include) +
           ", \"excludeTable\": " + JsonList(options.tables.exclude) + "}";
}

bool SameSwitches(const CompareOptions& a, const CompareOptions& b) {
    const CompareSwitches &x = a.switches, &y = b.switches;
    return x.datatype == y.datatype && x.size == y.size && x.null == y.null && x.missing == y.missing &&
           a.bothWays == b.bothWays && a.tables.include == b.tables.include &&
           a.tables.exclude == b.tables.exclude;
}

SavedReport ParseReport(const std::string& json, const std::string& file) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    if (error.error != QJsonParseError::NoError)
        throw Error("the report " + file + " is not valid JSON at byte " + std::to_string(error.offset) +
                    ": " + error.errorString().toStdString());
    const ReportReader reader(file);
    if (!document.isObject())
        reader.Fail("the top level", "an object");
    const QJsonObject root = document.object();
    if (reader.Integer(root, "", "version", 1, 1) != 1)
        reader.Fail("version", "1");

    SavedReport report;
    report.file = file;
    report.options = reader.Switches(root);
    report.fleet = root.contains(QStringLiteral("targets"));
    if (!report.fleet) {
        report.outcomes.push_back(reader.Result(root, ""));
        return report;
    }
    report.reference = reader.String(root, "", "reference");
    const QJsonObject shard = reader.Object(root, "", "shard");
    report.shard.count = static_cast<unsigned>(reader.Integer(shard, "shard.", "count", 1, 9999));
    report.shard.index =
        static_cast<unsigned>(reader.Integer(shard, "shard.", "index", 1, report.shard.count));
    const QJsonArray targets = reader.Array(root, "", "targets");
    for (qsizetype i = 0; i < targets.size(); ++i) {
        const std::string at = "targets[" + std::to_string(i) + "].";
        if (!targets[i].isObject())
            reader.Fail(at, "an object");
        const QJsonObject target = targets[i].toObject();
        TargetOutcome outcome = reader.Result(target, at);
        outcome.target = {reader.String(target, at, "target"), reader.String(target, at, "connection")};
        report.outcomes.push_back(std::move(outcome));
    }
    return report;
}

SavedReport ReadReport(const std::string& file) {
    return ParseReport(ReadRegularFileOrThrow(file, "report"), file);
}

} // namespace korvista::cli
