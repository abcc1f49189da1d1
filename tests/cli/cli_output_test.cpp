#include "cli/cli_output.h"
#include "cli/cli_run.h"
#include "cli/cli_test_helpers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

#include <gtest/gtest.h>

#include <sstream>

using namespace korvista;
using namespace korvista::cli;
using korvista::clitest::Lines;

namespace {

bool IsValidUtf8(const std::string& text) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString decoded = decoder(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    return !decoder.hasError() && !decoded.isNull();
}

// Code point offset of every cell start, found by the two-blank separators of the text layout.
std::vector<std::size_t> CellStarts(const std::string& line) {
    std::vector<std::size_t> starts{0};
    const QString text = QString::fromStdString(line);
    for (qsizetype i = 1; i + 1 < text.size(); ++i) {
        if (text[i - 1] == ' ' && text[i] == ' ' && text[i + 1] != ' ')
            starts.push_back(static_cast<std::size_t>(i + 1));
    }
    return starts;
}

const TableComparison kTwoRows{
    {{"Orders", "Name", "string:50:null", "string:60:not-null", "size, nullability"},
     {"Orders", "Note", "string:200:null", "???", "FIELD MISSING"}},
    3};

TEST(Utf8Repair, KeepsValidTextAndReplacesEachBrokenSequence) {
    EXPECT_EQ(RepairUtf8("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x9A\xB2"),
              "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x9A\xB2");
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(RepairUtf8("a\xFF"
                         "b"),
              "a" + fffd + "b");
    EXPECT_TRUE(IsValidUtf8(RepairUtf8("overlong \xC0\x80")));
    EXPECT_TRUE(IsValidUtf8(RepairUtf8("surrogate \xED\xA0\x80")));
    EXPECT_TRUE(IsValidUtf8(RepairUtf8("cut \xE2\x82")));
    EXPECT_TRUE(IsValidUtf8(RepairUtf8("latin1 caf\xE9")));
    EXPECT_NE(RepairUtf8("latin1 caf\xE9").find(fffd), std::string::npos);
}

TEST(Utf8Repair, CleanCellBlanksEveryControlCharacterAndCountsCodePoints) {
    EXPECT_EQ(CleanCell("a\tb\nc\rd\x01"
                        "e\x7F"
                        "f\x1B[31m"),
              "a b c d e f [31m");
    EXPECT_EQ(CodePointCount("caf\xC3\xA9"), 4u);
    EXPECT_EQ(CodePointCount("\xF0\x9F\x9A\xB2"), 1u);
    EXPECT_EQ(CodePointCount(""), 0u);
}

TEST(TextFormat, AlignsColumnsByCodePointsAndEndsWithTheCount) {
    TableComparison result = kTwoRows;
    result.rows.push_back({"Bestelling\xC3\xA9\xC3\xA9",
                           "Stra\xC3\x9F"
                           "e",
                           "memo:0:null", "???", "FIELD MISSING"});
    result.count = 4;
    const std::vector<std::string> lines = Lines(FormatText(result));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(CellStarts(lines[0]).size(), 5u);
    const std::vector<std::size_t> columns = CellStarts(lines[0]);
    for (std::size_t i = 1; i <= 4; ++i)
        EXPECT_EQ(CellStarts(lines[i]), columns) << lines[i];
    EXPECT_EQ(lines[0].rfind("Table", 0), 0u);
    EXPECT_NE(lines[0].find("Veldnaam"), std::string::npos);
    EXPECT_EQ(lines[1].find_first_not_of("- "), std::string::npos);
    for (const std::string& line : lines)
        EXPECT_TRUE(line.empty() || line.back() != ' ') << "trailing blank: " << line;
    EXPECT_EQ(lines[5], "");
    EXPECT_EQ(lines[6], "Er zijn 4 verschillen gevonden!");
}

TEST(TextFormat, NoCountLineWhenNothingDiffersAndControlCharactersCannotBreakLines) {
    const std::vector<std::string> empty = Lines(FormatText({}));
    ASSERT_EQ(empty.size(), 2u);
    EXPECT_EQ(CellStarts(empty[0]).size(), 5u);

    // A differing column counted as 0 cannot happen, but the count alone decides the closing line.
    const TableComparison odd{{{"a\nb", "c\td", "e\rf", "x", "y"}}, 1};
    const std::vector<std::string> lines = Lines(FormatText(odd));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[2].find('\r'), std::string::npos);
    EXPECT_EQ(lines[4], "Er zijn 1 verschillen gevonden!");
}

TEST(TsvFormat, HeaderThenOneLineOfFiveCellsPerRow) {
    EXPECT_EQ(FormatTsv(kTwoRows), "Table\tVeldnaam\tVeld (DB1)\tVeld (DB2)\tVerschil\n"
                                   "Orders\tName\tstring:50:null\tstring:60:not-null\tsize, nullability\n"
                                   "Orders\tNote\tstring:200:null\t???\tFIELD MISSING\n");
    EXPECT_EQ(FormatTsv({}), "Table\tVeldnaam\tVeld (DB1)\tVeld (DB2)\tVerschil\n");
}

TEST(TsvFormat, TabsAndNewlinesInsideCellsBecomeBlanks) {
    const TableComparison odd{{{"Tab\tle", "Line\nfeed", "Carriage\rreturn", "a\x01z", "x"}}, 1};
    EXPECT_EQ(FormatTsv(odd), "Table\tVeldnaam\tVeld (DB1)\tVeld (DB2)\tVerschil\n"
                              "Tab le\tLine feed\tCarriage return\ta z\tx\n");
}

TEST(JsonFormat, KeepsTheRowsInOrderWithTheCount) {
    const std::string json = FormatJson(kTwoRows);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json;
    const QJsonObject root = document.object();
    EXPECT_EQ(root["version"].toInt(), 1);
    EXPECT_EQ(root["differences"].toInt(), 3);
    const QJsonArray rows = root["rows"].toArray();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].toObject()["difference"].toString(), "size, nullability");
    EXPECT_EQ(rows[1].toObject()["db2"].toString(), "???");
    EXPECT_EQ(rows[1].toObject()["field"].toString(), "Note");
    // Keys in the documented order, version first.
    EXPECT_LT(json.find("\"version\""), json.find("\"differences\""));
    EXPECT_LT(json.find("\"table\""), json.find("\"difference\""));

    const QJsonDocument empty = QJsonDocument::fromJson(QByteArray::fromStdString(FormatJson({})), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError);
    EXPECT_TRUE(empty.object()["rows"].isArray());
    EXPECT_EQ(empty.object()["rows"].toArray().size(), 0);
    EXPECT_EQ(empty.object()["differences"].toInt(), 0);
}

TEST(JsonFormat, EscapesQuotesBackslashesAndControlCharactersAndRepairsUtf8) {
    const std::string name = "We\"ird\\Name\t\n\r\x01\x1F\b\f caf\xC3\xA9";
    const TableComparison odd{{{name,
                                "bad\xFF"
                                "byte",
                                "x", "y", "z"}},
                              1};
    const std::string json = FormatJson(odd);
    EXPECT_TRUE(IsValidUtf8(json));
    EXPECT_NE(json.find(R"("We\"ird\\Name\t\n\r\u0001\u001f\b\f café")"), std::string::npos) << json;
    for (const char c : json)
        EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << "raw control character";

    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(json), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json;
    const QJsonObject row = document.object()["rows"].toArray()[0].toObject();
    EXPECT_EQ(row["table"].toString(), QString::fromStdString(name));
    EXPECT_EQ(row["field"].toString(), QString::fromUtf8("bad\xEF\xBF\xBD"
                                                         "byte"));
}

TEST(ProgressLine, RewritesOneLineInPlaceAndWipesItAtTheEnd) {
    std::ostringstream out;
    {
        ProgressLine line(out, 80);
        line.Update(0, 12, "Customers");
        EXPECT_EQ(out.str(), "\rtable 1 of 12: Customers");
        line.Update(1, 12, "Tab");
        // The shorter text is padded so nothing of the longer one stays visible.
        EXPECT_EQ(out.str(), "\rtable 1 of 12: Customers\rtable 2 of 12: Tab      ");
        out.str("");
        line.Clear();
        EXPECT_EQ(out.str(), "\r" + std::string(18, ' ') + "\r");
        out.str("");
        line.Clear();
        EXPECT_EQ(out.str(), "");
        line.Update(2, 12, "Line\nbreak\x1B");
    }
    EXPECT_EQ(out.str(), "\rtable 3 of 12: Line break \r" + std::string(26, ' ') + "\r");
}

TEST(ProgressLine, StaysNarrowerThanTheTerminal) {
    std::ostringstream out;
    ProgressLine line(out, 20);
    line.Update(0, 1, "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9");
    const std::string shown = out.str().substr(1);
    EXPECT_EQ(CodePointCount(shown), 19u);
    EXPECT_TRUE(IsValidUtf8(shown));
}

TEST(SettingsFile, ReadsBothStringsByTheWindowsRules) {
    clitest::TempDir dir;
    const std::string path = dir.File("k.ini");
    clitest::WriteFile(path,
                       "[general]\r\nLastFolder=/x\r\n[db1]\r\nconnectionstring =  Provider=SQLite;Data "
                       "Source=a.db  \r\n[DB2]\r\nConnectionString=\"DSN=x;Pwd=a=b\"\r\n");
    const ConnectionStrings strings = ReadSettingsFile(path);
    EXPECT_EQ(strings.db1, "Provider=SQLite;Data Source=a.db");
    EXPECT_EQ(strings.db2, "DSN=x;Pwd=a=b");
}

TEST(SettingsFile, ByteOrderMarkAndCarriageReturnLines) {
    clitest::TempDir dir;
    const std::string path = dir.File("k.ini");
    for (const std::string content :
         {"\xEF\xBB\xBF[DB1]\r\nConnectionString=DSN=a\r\n[DB2]\r\nConnectionString=DSN=b\r\n",
          "[DB1]\rConnectionString=DSN=a\r[DB2]\rConnectionString=DSN=b\r",
          "\xEF\xBB\xBF[DB1]\rConnectionString=DSN=a\r[DB2]\rConnectionString=DSN=b"}) {
        clitest::WriteFile(path, content);
        const ConnectionStrings strings = ReadSettingsFile(path);
        EXPECT_EQ(strings.db1, "DSN=a");
        EXPECT_EQ(strings.db2, "DSN=b");
    }
}

TEST(SettingsFile, MissingFileOrStringIsAnError) {
    clitest::TempDir dir;
    EXPECT_THROW(ReadSettingsFile(dir.File("absent.ini")), Error);

    const std::string path = dir.File("k.ini");
    // A section line without entries counts as absent.
    clitest::WriteFile(path, "[DB1]\r\nConnectionString=DSN=a\r\n[DB2]\r\n");
    try {
        ReadSettingsFile(path);
        FAIL() << "no error";
    } catch (const Error& error) {
        EXPECT_NE(std::string(error.what()).find("database 2"), std::string::npos);
    }
    clitest::WriteFile(path, "[DB2]\r\nConnectionString=DSN=a\r\n[DB1]\r\nConnectionString=\r\n");
    EXPECT_THROW(ReadSettingsFile(path), Error);
}

TEST(CommandLine, UsageErrorsAndHelpNeverTouchADatabase) {
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunCommandLine({"--nope"}, out, err, 0), 2);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "korvista-cli: unknown option '--nope' (see korvista-cli --help)\n");

    err.str("");
    EXPECT_EQ(RunCommandLine({"--help"}, out, err, 0), 0);
    EXPECT_EQ(out.str(), UsageText());
    EXPECT_EQ(err.str(), "");
}

} // namespace
