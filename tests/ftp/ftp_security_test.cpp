// Pinned certificate fingerprints: the forms a person may paste, and the form shown back.

#include "ftp/ftp_security.h"

#include <gtest/gtest.h>
#include <string>

namespace tarn {
namespace {

const std::string Hex = "0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF";

TEST(TlsFingerprint, PastedFormsNormalizeToSixtyFourUpperCaseDigits)
{
    std::string colons;
    for (std::size_t i = 0; i < Hex.size(); i += 2)
        colons += (i ? ":" : "") + Hex.substr(i, 2);
    std::string lower = colons;
    for (char &c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

    struct TCase
    {
        std::string Text;
        bool Valid;
    };
    const TCase cases[] = {
        {Hex, true},
        {colons, true},
        {lower, true},
        {":" + Hex + ":", true},
        {Hex.substr(1), false},       // 63 digits
        {Hex + "0", false},           // 65 digits
        {Hex.substr(1) + "G", false}, // not hex
        {" " + Hex, false},           // blanks are not ignored
        {"", false},
    };
    for (const auto &c : cases) {
        const auto got = NormalizeTlsFingerprint(c.Text);
        EXPECT_EQ(got.has_value(), c.Valid) << c.Text;
        if (c.Valid && got) {
            EXPECT_EQ(*got, Hex) << c.Text;
        }
    }
    EXPECT_EQ(FormatTlsFingerprint(Hex), colons);
    EXPECT_EQ(FormatTlsFingerprint(Hex).size(), 95u);
}

} // namespace
} // namespace tarn
