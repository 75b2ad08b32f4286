// The data port named by 227 and 229 replies, as servers word them and as hostile ones might.

#include "ftp/ftp_parse.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

TEST(PassiveReply, PasvAndEpsvPortsAsServersWordThem)
{
    struct TCase
    {
        const char *Line;
        const char *Address; // "" when no port is named
        int Port;
    };
    const TCase pasv[] = {
        {"227 Entering Passive Mode (127,0,0,1,195,80).", "127.0.0.1", 50000},
        {"227 Entering passive mode (10,9,8,7,0,21)", "10.9.8.7", 21},
        {"227 =192,168,1,2,4,1", "192.168.1.2", 1025},            // no parentheses
        {"227 Entering Passive Mode (127,0,0,1,256,80).", "", 0}, // not a byte
        {"227 Entering Passive Mode (127,0,0,1,195).", "", 0},    // five numbers
        {"227 Entering Passive Mode (127,0,0,1,0,0).", "127.0.0.1", 0},
        {"227 Entering Passive Mode.", "", 0},
        {"227", "", 0},
    };
    for (const TCase &c : pasv) {
        const TPassiveTarget target = PassiveTarget(c.Line);
        EXPECT_EQ(target.Port, c.Port) << c.Line;
        if (c.Port != 0) {
            EXPECT_EQ(target.Address, c.Address) << c.Line;
        }
    }
    const std::pair<const char *, int> epsv[] = {
        {"229 Entering Extended Passive Mode (|||50000|)", 50000},
        {"229 Entering extended passive mode (!!!21!).", 21},
        {"229 Entering Extended Passive Mode (|||65536|)", 0},
        {"229 Entering Extended Passive Mode (||1|2|)", 0},
        {"229 Entering Extended Passive Mode (|||50000)", 0},
        {"229 Entering Extended Passive Mode (||||)", 0},
        {"229 (", 0},
    };
    for (const auto &[line, port] : epsv)
        EXPECT_EQ(ExtendedPassivePort(line), port) << line;
}

} // namespace
} // namespace tarn
