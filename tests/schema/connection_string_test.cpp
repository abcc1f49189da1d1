#include "schema/connection_string.h"
#include "support/errors.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace korvista {
namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries ParseEntries(const std::string& text) {
    return ConnectionString::Parse(text).Entries();
}

TEST(ConnectionStringTest, PlainPairs) {
    EXPECT_EQ(ParseEntries("Provider=SQLite;Data Source=/tmp/a.db"),
              (Entries{{"Provider", "SQLite"}, {"Data Source", "/tmp/a.db"}}));
    EXPECT_EQ(ParseEntries("  DSN = pg ;  UID=  me  ;"), (Entries{{"DSN", "pg"}, {"UID", "me"}}));
    EXPECT_EQ(ParseEntries(""), Entries{});
    EXPECT_EQ(ParseEntries(" ;; ; "), Entries{});
    EXPECT_EQ(ParseEntries(";;A=1;;;B=2;;"), (Entries{{"A", "1"}, {"B", "2"}}));
}

TEST(ConnectionStringTest, ValuesKeepWhatIsNotQuoting) {
    EXPECT_EQ(ParseEntries("A=x=y;B=it's;C=say \"hi\";D=a{b}"),
              (Entries{{"A", "x=y"}, {"B", "it's"}, {"C", "say \"hi\""}, {"D", "a{b}"}}));
    EXPECT_EQ(ParseEntries("A=;B="), (Entries{{"A", ""}, {"B", ""}}));
    EXPECT_EQ(ParseEntries("A=in side"), (Entries{{"A", "in side"}}));
}

TEST(ConnectionStringTest, QuotedValues) {
    EXPECT_EQ(ParseEntries("A=\"x;y\";B='p;q'"), (Entries{{"A", "x;y"}, {"B", "p;q"}}));
    EXPECT_EQ(ParseEntries("A={x;y} ; B={a}}b}"), (Entries{{"A", "x;y"}, {"B", "a}b"}}));
    EXPECT_EQ(ParseEntries("A=\"say \"\"hi\"\"\""), (Entries{{"A", "say \"hi\""}}));
    EXPECT_EQ(ParseEntries("A='it''s'"), (Entries{{"A", "it's"}}));
    EXPECT_EQ(ParseEntries("A=\" padded \""), (Entries{{"A", " padded "}}));
    EXPECT_EQ(ParseEntries("A=\"'\";B='\"';C={\"'}"), (Entries{{"A", "'"}, {"B", "\""}, {"C", "\"'"}}));
    EXPECT_EQ(ParseEntries("A=\"\""), (Entries{{"A", ""}}));
}

TEST(ConnectionStringTest, MalformedInputIsRejected) {
    for (const char* text : {"A=\"open", "A='open;B=1", "A={open;B=1", "A=\"x\" y;B=1", "novalue",
                             "A=1;alone;B=2", "=value", " = value"}) {
        EXPECT_THROW(ConnectionString::Parse(text), Error) << text;
    }
}

TEST(ConnectionStringTest, KeysIgnoreLetterCase) {
    ConnectionString cs = ConnectionString::Parse("provider=SQLite;Data Source=x");
    EXPECT_EQ(cs.Get("PROVIDER"), "SQLite");
    EXPECT_EQ(cs.Get("data source"), "x");
    EXPECT_EQ(cs.Get("Missing"), std::nullopt);
    EXPECT_EQ(cs.Get("Provide"), std::nullopt);
}

TEST(ConnectionStringTest, RepeatedKeysKeepTheFirstValue) {
    ConnectionString cs = ConnectionString::Parse("DSN=a;dsn=b");
    EXPECT_EQ(cs.Entries().size(), 2u);
    EXPECT_EQ(cs.Get("DSN"), "a");
    cs.Set("Dsn", "c");
    EXPECT_EQ(cs.Entries(), (Entries{{"DSN", "c"}}));
}

TEST(ConnectionStringTest, SetAndRemove) {
    ConnectionString cs = ConnectionString::Parse("Provider=ODBC;DSN=pg;UID=me");
    cs.Set("dsn", "other");
    cs.Set("PWD", "secret");
    EXPECT_EQ(cs.Entries(),
              (Entries{{"Provider", "ODBC"}, {"DSN", "other"}, {"UID", "me"}, {"PWD", "secret"}}));
    cs.Remove("PROVIDER");
    cs.Remove("absent");
    EXPECT_EQ(cs.ToString(), "DSN=other;UID=me;PWD=secret;");
}

TEST(ConnectionStringTest, RemoveTakesEveryRepeat) {
    ConnectionString cs = ConnectionString::Parse("Provider=a;DSN=x;provider=b");
    cs.Remove("Provider");
    EXPECT_EQ(cs.Entries(), (Entries{{"DSN", "x"}}));
}

TEST(ConnectionStringTest, ToStringQuotesOnlyWhereNeeded) {
    ConnectionString cs;
    cs.Set("A", "plain value");
    cs.Set("B", "x;y");
    cs.Set("C", "{brace}");
    cs.Set("D", " lead");
    cs.Set("E", "trail ");
    cs.Set("F", "\"quoted\"");
    cs.Set("G", "'single");
    cs.Set("H", "a=b");
    cs.Set("I", "");
    cs.Set("J", "x;}y");
    EXPECT_EQ(cs.ToString(), "A=plain value;B={x;y};C={{brace}}};D={ lead};E={trail };F={\"quoted\"};"
                             "G={'single};H=a=b;I=;J={x;}}y};");
}

TEST(ConnectionStringTest, RoundTrip) {
    const std::vector<std::string> texts = {
        "Provider=SQLite;Data Source=/tmp/a b.db",
        "DRIVER={PostgreSQL Unicode};SERVER=localhost;PWD={p;w}}d};UID=u",
        "A=\" x \";B='a''b;c';C={}}};D=\"\"\"\"",
        "A='{';B=\"}\";C='\"';D=x'y\"z",
        "Key With Blanks = v ; k2=v2;;",
        "A=\t\"tab\"\t;B=\ttab\t",
        "dup=1;DUP=2",
    };
    for (const std::string& text : texts) {
        const ConnectionString first = ConnectionString::Parse(text);
        const ConnectionString second = ConnectionString::Parse(first.ToString());
        EXPECT_EQ(second.Entries(), first.Entries()) << text << " -> " << first.ToString();
    }
}

TEST(ConnectionStringTest, RoundTripOfAwkwardValues) {
    const std::vector<std::string> values = {"",  ";",  "}",  "{",  "{}", "}}",  "\"", "'",
                                             " ", "a ", " a", ";;", "=",  "a;b", "{x", "}x{"};
    for (const std::string& value : values) {
        ConnectionString cs;
        cs.Set("K", value);
        cs.Set("Next", "1");
        EXPECT_EQ(ConnectionString::Parse(cs.ToString()).Entries(), cs.Entries())
            << "[" << value << "] -> " << cs.ToString();
    }
}

TEST(ConnectionStringTest, WithoutKeyCutsTheEntryAndKeepsEveryOtherByte) {
    struct Case {
        const char* text;
        const char* rest;
    };
    const Case cases[] = {
        {"Provider=ODBC;DSN=pg;Uid=me", "DSN=pg;Uid=me"},
        {"DSN=pg; provider = ODBC ;Uid=me", "DSN=pg;Uid=me"},
        {"Driver={PostgreSQL Unicode};Provider=ODBC", "Driver={PostgreSQL Unicode};"},
        {"Provider=ODBC", ""},
        {"DSN=pg;;Provider=ODBC;;Uid=me", "DSN=pg;;;Uid=me"},
        // A doubled quote stays inside its value: the "Provider" there is no key.
        {"Pwd=\"a\"\";Provider=x\";Provider=ODBC;DSN=pg", "Pwd=\"a\"\";Provider=x\";DSN=pg"},
        {"Pwd={a}};Provider=x};Provider=ODBC;DSN=pg", "Pwd={a}};Provider=x};DSN=pg"},
        {"Provider=ODBC;DSN=pg;PROVIDER=other", "DSN=pg;"},
        {"DSN=pg", "DSN=pg"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ConnectionString::WithoutKey(c.text, "Provider"), c.rest) << c.text;
        ConnectionString expected = ConnectionString::Parse(c.text);
        expected.Remove("Provider");
        EXPECT_EQ(ParseEntries(c.rest), expected.Entries()) << c.text;
    }
    EXPECT_THROW(ConnectionString::WithoutKey("Provider=ODBC;Pwd={open", "Provider"), Error);
}

TEST(MaskPasswordsTest, MasksOnlyPasswordValues) {
    EXPECT_EQ(MaskPasswords("DSN=pg;UID=me;PWD=secret"), "DSN=pg;UID=me;PWD=***");
    EXPECT_EQ(MaskPasswords("Provider=x;password=secret;User ID=me;"), "Provider=x;password=***;User ID=me;");
    EXPECT_EQ(MaskPasswords("pAsSwOrD = secret ;Pwd=two;pwd= three"), "pAsSwOrD = *** ;Pwd=***;pwd= ***");
    EXPECT_EQ(MaskPasswords("UID=pwd;Passwords=x;MyPwd=y"), "UID=pwd;Passwords=x;MyPwd=y");
}

TEST(MaskPasswordsTest, KeepsTheRestAsWritten) {
    const std::string text = "  DRIVER = {My Driver} ;;SERVER=h ; PWD={a;b}}c} ;Port=5432  ";
    EXPECT_EQ(MaskPasswords(text), "  DRIVER = {My Driver} ;;SERVER=h ; PWD=*** ;Port=5432  ");
    EXPECT_EQ(MaskPasswords("PWD=\"x;y\";A=1"), "PWD=***;A=1");
    EXPECT_EQ(MaskPasswords("PWD='it''s';A=1"), "PWD=***;A=1");
    EXPECT_EQ(MaskPasswords("no secrets here"), "no secrets here");
    EXPECT_EQ(MaskPasswords(""), "");
}

TEST(MaskPasswordsTest, MalformedInputStillMasked) {
    EXPECT_EQ(MaskPasswords("A=1;PWD=\"unterminated;B=2"), "A=1;PWD=***");
    EXPECT_EQ(MaskPasswords("PWD={open"), "PWD=***");
    EXPECT_EQ(MaskPasswords("PWD='a' tail;B=2"), "PWD=***;B=2");
    // "=x" may be the rest of a password holding ";": with no telling, the mask runs to the end.
    EXPECT_EQ(MaskPasswords("alone;PWD=s;=x"), "alone;PWD=***");
    EXPECT_EQ(MaskPasswords("alone;PWD=s;A=1"), "alone;PWD=***;A=1");
    EXPECT_EQ(MaskPasswords("PWD"), "PWD");
    EXPECT_EQ(MaskPasswords("PWD=;A=1"), "PWD=***;A=1");
}

struct MaskCase {
    const char* text;
    const char* masked;
};

// Each text holds the password "geheim", sometimes with a ";" that is not quoted ("geh;eim").
class MaskPasswordsCase : public ::testing::TestWithParam<MaskCase> {};

TEST_P(MaskPasswordsCase, NoPartOfThePasswordIsLeft) {
    const std::string masked = MaskPasswords(GetParam().text);
    EXPECT_EQ(masked, GetParam().masked);
    for (const char* piece : {"geheim", "geh", "eim"})
        EXPECT_EQ(masked.find(piece), std::string::npos) << piece;
}

INSTANTIATE_TEST_SUITE_P(
    Strings, MaskPasswordsCase,
    ::testing::Values(
        // A quote or brace that is never closed swallows the password into another value.
        MaskCase{"Server=\"127.0.0.1;Uid=u;Pwd=geheim", "Server=\"127.0.0.1;Uid=u;Pwd=***"},
        MaskCase{"Driver={PostgreSQL;Server=h;PASSWORD = geheim;Port=1", "Driver={PostgreSQL;Server=h;PASSWORD = ***"},
        MaskCase{"Server='a' x;pwd=geheim;Uid=u", "Server='a' x;pwd=***;Uid=u"},
        MaskCase{"Server=\"a\" x Pwd=geheim;Uid=u", "Server=\"a\" x Pwd=***"},
        // A ";" in an unquoted password leaves a piece that is no entry.
        MaskCase{"Uid=u;Pwd=geh;eim", "Uid=u;Pwd=***"},
        MaskCase{"Pwd=geh;eim;Server=h", "Pwd=***"},
        // A quoted password ends where its quote closes, whatever follows.
        MaskCase{"Pwd={geh;eim};junk", "Pwd=***;junk"},
        // Aliases and the factors of a multi-factor login.
        MaskCase{"Uid=u;Passwd=geheim", "Uid=u;Passwd=***"},
        MaskCase{" pAsSwD =geheim;PWD2=geheim;password3= geheim", " pAsSwD =***;PWD2=***;password3= ***"},
        // Values that are connection strings themselves.
        MaskCase{"Provider=X;Extended Properties=\"DSN=a;PWD=geheim\";Uid=u",
                 "Provider=X;Extended Properties=\"DSN=a;PWD=***\";Uid=u"},
        MaskCase{"Extended Properties={DSN=a;Pwd={geh;eim}}};Port=1}",
                 "Extended Properties={DSN=a;Pwd=***};Port=1}"},
        MaskCase{"Extended Properties='Pwd=geh;eim'", "Extended Properties='Pwd=***'"},
        MaskCase{"Extended Properties=PWD=geheim", "Extended Properties=PWD=***"}));

TEST(ConnectionStringTest, ParseErrorsPointAtThePlaceAndQuoteNothing) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"Pwd=geh;eim", "Invalid connection string: the entry at character 9 has no \"=\" and no value"},
        {"A=1;=geheim", "Invalid connection string: a value without a key at character 5"},
        {"Server=\"h;Pwd=geheim",
         "Invalid connection string: the quoted value of the entry at character 1 has no closing quote"},
        {"Pwd=geh;eim=\"x", "Invalid connection string: the quoted value of the entry at character 9 has no "
                            "closing quote"},
        {"Pwd=geh;eim='x' y", "Invalid connection string: text after the quoted value of the entry at character 9"},
        {"Caf\xC3\xA9=1;geheim", "Invalid connection string: the entry at character 8 has no \"=\" and no value"},
    };
    for (const auto& c : cases) {
        try {
            ConnectionString::Parse(c.text);
            ADD_FAILURE() << "parsed: " << c.text;
        } catch (const Error& error) {
            EXPECT_EQ(std::string(error.what()), c.message) << c.text;
        }
    }
}

} // namespace
} // namespace korvista
