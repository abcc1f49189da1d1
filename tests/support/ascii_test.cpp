#include "support/ascii.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace korvista {
namespace {

TEST(AsciiCase, OnlyAsciiLettersChange) {
    struct Case {
        std::string text;
        std::string upper;
        std::string lower;
    };
    const Case cases[] = {
        {"OrderId_9 az{}`@", "ORDERID_9 AZ{}`@", "orderid_9 az{}`@"},
        {"[\\]^_`{|}", "[\\]^_`{|}", "[\\]^_`{|}"},
        {"café", "CAFé", "café"},
        {"CAFÉ straße", "CAFÉ STRAßE", "cafÉ straße"},
        {"", "", ""},
        // Bytes of 8-bit code pages and a NUL pass through, the length stays.
        {std::string("a\xe9\0Z\xff", 5), std::string("A\xe9\0Z\xff", 5), std::string("a\xe9\0z\xff", 5)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AsciiUpper(c.text), c.upper) << c.text;
        EXPECT_EQ(AsciiLower(c.text), c.lower) << c.text;
    }
    // Code points beyond a byte keep their value: U+0161 is no 'a' + 0x100.
    EXPECT_EQ(AsciiUpper(std::uint32_t{'q'}), std::uint32_t{'Q'});
    EXPECT_EQ(AsciiUpper(std::uint32_t{0x161}), std::uint32_t{0x161});
    EXPECT_EQ(AsciiLower(std::uint32_t{0x141}), std::uint32_t{0x141});
}

TEST(AsciiCase, ComparesWithoutLetterCase) {
    struct Case {
        const char* a;
        const char* b;
        bool equal;
    };
    const Case cases[] = {
        {"CustomerID", "customerid", true}, {"café", "CAFÉ", false},  {"Straße", "STRASSE", false},
        {"a", "ab", false},                 {"", "", true},           {"[", "{", false},
        {"@", "`", false},                  {"Pwd", "PWD", true},     {"ID_1", "id_1", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AsciiEqualsNoCase(c.a, c.b), c.equal) << c.a << " ~ " << c.b;
    EXPECT_TRUE(AsciiStartsWithNoCase("SQLITE_sequence", "sqlite_"));
    EXPECT_TRUE(AsciiStartsWithNoCase("File:x.db", "file:"));
    EXPECT_FALSE(AsciiStartsWithNoCase("sqlite", "sqlite_"));
    EXPECT_FALSE(AsciiStartsWithNoCase("fil", "file:"));
}

TEST(AsciiBlanks, EachSetTrimsItsOwnCharacters) {
    struct Case {
        std::string_view text;
        std::string_view set;
        std::string_view trimmed;
    };
    const Case cases[] = {
        {" \tvalue \t", kBlanks, "value"},
        {"\r\nvalue\r\n", kBlanks, "\r\nvalue\r\n"},
        {" \r\nvalue \t\r\n", kLineBlanks, "value"},
        {"\v\fvalue\v", kLineBlanks, "\v\fvalue\v"},
        {"\v\f value\n", kAsciiSpaces, "value"},
        {"a b", kAsciiSpaces, "a b"},
        {" \t ", kBlanks, ""},
        {"", kLineBlanks, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TrimAscii(c.text, c.set), c.trimmed) << '"' << c.text << '"';
    EXPECT_EQ(TrimAsciiEnd(" text \r\n", "\n\r "), " text");
    EXPECT_EQ(TrimAsciiEnd("\n\r ", "\n\r "), "");
}

TEST(AsciiBlanks, BlankTextHoldsNothingAboveTheSpace) {
    EXPECT_TRUE(IsBlankText(""));
    EXPECT_TRUE(IsBlankText(" \t\r\n\v\f"));
    EXPECT_TRUE(IsBlankText(std::string("\0\x1f ", 3)));
    EXPECT_FALSE(IsBlankText(" x "));
    EXPECT_FALSE(IsBlankText("\x7f"));
    EXPECT_FALSE(IsBlankText("\xc2\xa0")); // a no-break space of UTF-8 is text
    EXPECT_EQ(TrimControl("\x01 name\t\x1f"), "name");
    EXPECT_EQ(TrimControl("\xc2\xa0name"), "\xc2\xa0name");
}

} // namespace
} // namespace korvista
