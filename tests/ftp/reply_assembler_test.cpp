// The reply assembler alone (bytes in, lines out) and the engine's small text helpers.
#include "ftp/ftp_parse.h"
#include "ftp/reply_assembler.h"

#include <cstring>
#include <gtest/gtest.h>

namespace tarn {

namespace {

// Feeds Bytes in one read and returns the lines, each marked with "F:" (ends a reply) or
// "C:" (continuation), and "X" appended when the line was cut.
std::vector<std::string> Feed(TFtpReplyAssembler &Assembler, const std::string &Bytes)
{
    std::vector<std::string> lines;
    std::size_t done = 0;
    do {
        const std::size_t count = std::min(Assembler.SpaceLen(), Bytes.size() - done);
        std::memcpy(Assembler.Space(), Bytes.data() + done, count);
        Assembler.Commit(count);
        done += count;
        TFtpReplyLine line;
        while (Assembler.NextLine(line))
            lines.push_back((line.Final ? "F:" : "C:") + line.Text + (line.Cut ? "X" : ""));
    } while (done < Bytes.size());
    return lines;
}

using TLines = std::vector<std::string>;

TEST(ReplyAssembler, LinesSplitAcrossReadsAndSeveralInOneRead)
{
    TFtpReplyAssembler a;
    EXPECT_EQ(Feed(a, "220 Ser"), TLines{});
    EXPECT_EQ(a.Held(), 7u);
    EXPECT_EQ(Feed(a, "vice ready\r"), TLines{});
    EXPECT_EQ(Feed(a, "\n331 a\r\n230 b\r\n200 c\r\n"),
              (TLines{"F:220 Service ready", "F:331 a", "F:230 b", "F:200 c"}));
    EXPECT_EQ(a.Held(), 0u);
    // A bare LF ends a line as CR LF does; a lone CR and a NUL byte are ordinary bytes.
    EXPECT_EQ(Feed(a, std::string("200 a\nb\rc\0d\r\n", 13)),
              (TLines{"F:200 a", std::string("F:b\rc\0d", 7)}));
    EXPECT_EQ(Feed(a, "\r\n\n331 x\r"), (TLines{"F:", "F:"}));
    EXPECT_EQ(Feed(a, "\n"), (TLines{"F:331 x"}));
}

TEST(ReplyAssembler, MultiLineRepliesFollowRfc959)
{
    TFtpReplyAssembler a;
    // TLines without digits, other codes and "nnn-" lines inside a reply do not end it.
    EXPECT_EQ(Feed(a, "220-Welcome\r\n  no code here\r\n230 other code\r\n220-again\r\n"
                      "220 done\r\n331 next\r\n"),
              (TLines{"C:220-Welcome", "C:  no code here", "C:230 other code", "C:220-again",
                      "F:220 done", "F:331 next"}));
    // The closing line may be the bare code; "2200" is not the code 220.
    EXPECT_EQ(Feed(a, "250-a\r\n2500 b\r\n250\r\n"), (TLines{"C:250-a", "C:2500 b", "F:250"}));
    // A line without a code outside a multi-line reply is a (final) line of its own.
    EXPECT_EQ(Feed(a, "garbage\r\n"), (TLines{"F:garbage"}));
    // Reset forgets an open reply.
    Feed(a, "211-open\r\n");
    a.Reset();
    EXPECT_EQ(Feed(a, "200 fresh\r\n"), (TLines{"F:200 fresh"}));
}

TEST(ReplyAssembler, OverlongLineIsCutAndItsTailDropped)
{
    TFtpReplyAssembler a;
    const std::string head = "500 " + std::string(TFtpReplyAssembler::BufferSize - 4, 'x');
    EXPECT_EQ(Feed(a, head + std::string(10000, 'y') + "\r\n200 after\r\n"),
              (TLines{"F:" + head + "X", "F:200 after"}));
    // A CR LF split around the cut: the CR at the end of the full buffer is not line text.
    const std::string exact = "500 " + std::string(TFtpReplyAssembler::BufferSize - 5, 'z');
    EXPECT_EQ(Feed(a, exact + "\r"), (TLines{"F:" + exact + "X"}));
    EXPECT_EQ(Feed(a, "\n221 bye\r\n"), (TLines{"F:221 bye"}));
    // The tail may arrive over several reads, and a cut line can open a multi-line reply.
    const std::string open = "250-" + std::string(TFtpReplyAssembler::BufferSize - 4, 'o');
    EXPECT_EQ(Feed(a, open), (TLines{"C:" + open + "X"}));
    EXPECT_EQ(Feed(a, "more"), TLines{});
    EXPECT_EQ(Feed(a, "tail\r\n250 end\r\n"), (TLines{"F:250 end"}));
    // The tail of a cut line ends at a bare LF too.
    EXPECT_EQ(Feed(a, head + "tail\n200 next\n"), (TLines{"F:" + head + "X", "F:200 next"}));
}

TEST(FtpParse, ParseIntegerReadsSignedDecimalAfterBlanks)
{
    struct TCase
    {
        std::string Text;
        std::size_t Start;
        int64_t Value;
        std::size_t Next;
    };
    const TCase cases[] = {
        {"213 1234", 0, 213, 3},
        {"213 1234", 3, 1234, 8},
        {" \t\r\n-42x", 0, -42, 7},
        {"+7", 0, 7, 2},
        {"abc", 0, 0, 0},
        {"", 0, 0, 0},
        {"  ", 0, 0, 2},
        {"213 5000000000", 3, 5000000000, 14},
        {"99999999999999999999999", 0, INT64_MAX, 23},
    };
    for (const TCase &c : cases) {
        const TParsedInteger parsed = ParseInteger(c.Text, c.Start);
        EXPECT_EQ(parsed.Value, c.Value) << c.Text;
        EXPECT_EQ(parsed.Next, c.Next) << c.Text;
    }
}

TEST(FtpParse, ReplyCodeIsThreeDigitsAtTheStart)
{
    const std::pair<std::string, int> cases[] = {
        {"250 Deleted.", 250},
        {"250-more", 250},
        {"250", 250},
        {"550\tx", 550},
        {"+250 Deleted.", 0},
        {" 250 Deleted.", 0},
        {"2500 x", 0},
        {"25 x", 0},
        {"-250", 0},
        {"", 0},
        {"abc", 0},
        {"099 odd", 99},
    };
    for (const auto &[line, code] : cases)
        EXPECT_EQ(ReplyCode(line), code) << line;
    EXPECT_EQ(AnnouncedLength("150 Opening BINARY mode data connection for a.bin (1024 bytes)."),
              1024);
    EXPECT_EQ(AnnouncedLength("125 Data connection already open; Transfer starting."), -1);
    EXPECT_EQ(AnnouncedLength("150 x (12a bytes)."), -1);
    EXPECT_EQ(AnnouncedLength("150 x ( bytes)."), -1);
}

TEST(FtpParse, TransferStatsFormula)
{
    EXPECT_EQ(TransferStatsText(100000, 2500),
              "100000 bytes received/sent in 2 seconds (40000 Bytes/sec)");
    EXPECT_EQ(TransferStatsText(1000, 300),
              "1000 bytes received/sent in 0 seconds (3333 Bytes/sec)");
    EXPECT_EQ(TransferStatsText(0, 0), "0 bytes received/sent in 0 seconds");
    // Up to 32767 bytes the rate multiplies first; from 32768 it divides first.
    EXPECT_EQ(TransferStatsText(32767, 1000),
              "32767 bytes received/sent in 1 seconds (32767 Bytes/sec)");
    EXPECT_EQ(TransferStatsText(32768, 1000),
              "32768 bytes received/sent in 1 seconds (32000 Bytes/sec)");
    // Past 2 GiB nothing overflows, nor does any 64-bit count over a short time.
    EXPECT_EQ(TransferStatsText(5000000000, 2000),
              "5000000000 bytes received/sent in 2 seconds (2500000000 Bytes/sec)");
    EXPECT_EQ(TransferStatsText(9223372036854775807, 1),
              "9223372036854775807 bytes received/sent in 0 seconds (9223372036854775807 "
              "Bytes/sec)");
    EXPECT_EQ(TransferStatsText(9223372036854775, 1),
              "9223372036854775 bytes received/sent in 0 seconds (9223372036854775000 Bytes/sec)");
    EXPECT_EQ(TransferStatsText(100, -5), "100 bytes received/sent in 0 seconds");
}

} // namespace

} // namespace tarn
