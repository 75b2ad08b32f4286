// The byte-string helpers and the local name rules.

#include "support/local_files.h"
#include "support/text.h"

#include <QString>
#include <gtest/gtest.h>
#include <string>

namespace tarn {
namespace {

TEST(Text, TrimAndUpperCaseTouchOnlyTheirBytes)
{
    EXPECT_EQ(Trim(std::string("\0\x1f \x20x y\x21\n", 9), tsControls), "x y!");
    EXPECT_EQ(Trim("\x80 ", tsControls), "\x80");
    // Blanks are spaces and tabs only: a line end stays.
    EXPECT_EQ(Trim(" \tx y\t\n", tsBlanks), "x y\t\n");
    EXPECT_EQ(UpperCaseAscii("az{`@AZ\xe4\xfc"), "AZ{`@AZ\xe4\xfc");
    // The same for the editors' text, where characters beyond ASCII stay as they are.
    EXPECT_EQ(Trim(u"\t\x1f x \u00e9\r\n", tsControls), u"x \u00e9");
    EXPECT_EQ(Trim(u" \tx\n", tsBlanks), u"x\n");
    EXPECT_EQ(UpperCaseAscii(u"az{`@\u00e4\u00e9"), u"AZ{`@\u00e4\u00e9");
}

TEST(Text, PrintableTextShowsEveryControlCharacterWhereverItStands)
{
    // A control character shows as ^ and its letter, a tab stays; text is checked a block at a
    // time, so the character is put at every offset of lines around the block length.
    for (const char control : {'\0', '\x01', '\r', '\n', '\x1f', '\x7f'}) {
        const std::string shown = {'^',
                                   static_cast<char>(static_cast<unsigned char>(control) ^ 64)};
        for (std::size_t size = 1; size <= 50; ++size)
            for (std::size_t at = 0; at < size; ++at) {
                std::string line(size, 'x');
                line[at] = control;
                std::string expected(size, 'x');
                expected.replace(at, 1, shown);
                ASSERT_EQ(PrintableText(line), expected)
                    << int(control) << " " << size << " " << at;
            }
    }
    const std::string tabs(40, '\t');
    EXPECT_EQ(PrintableText(tabs), tabs);
    EXPECT_EQ(PrintableText(tabs + "\x80\xff\x1b"), tabs + "\x80\xff^[");
    EXPECT_EQ(PrintableText(""), "");
}

TEST(Text, WholeNumbersOnly)
{
    EXPECT_EQ(ParseWholeNumber("30"), 30);
    EXPECT_EQ(ParseWholeNumber("0"), 0);
    EXPECT_EQ(ParseWholeNumber("-5"), -5);
    EXPECT_EQ(ParseWholeNumber("+7"), 7);
    for (const char *bad : {"", "+", "-", "3.5", "30s", " 30", "0x10", "+-3", "99999999999"})
        EXPECT_FALSE(ParseWholeNumber(bad).has_value()) << bad;
}

TEST(LocalFiles, BareLocalNamesGoIntoTheFolder)
{
    EXPECT_EQ(PlaceInFolder("/dl", "a.txt"), "/dl/a.txt");
    EXPECT_EQ(PlaceInFolder("/dl/", "a.txt"), "/dl/a.txt");
    EXPECT_EQ(PlaceInFolder("/dl", "/x/a.txt"), "/x/a.txt");
    EXPECT_EQ(PlaceInFolder("/dl", "./a.txt"), "./a.txt");
    EXPECT_EQ(PlaceInFolder("", "a.txt"), "a.txt"); // the current directory, not the root
}

} // namespace
} // namespace tarn
