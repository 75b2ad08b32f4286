// The reply assembler fed a control stream in reads of random sizes. Checks:
// - the lines do not depend on where the reads split the stream;
// - a whole line holds no LF and is shorter than the buffer; a cut line fills it (less a CR
//   that may start the CR LF);
// - Final follows the multi-line rule: a line opening "nnn-" is not final, and inside a reply
//   only "nnn" or "nnn " with the opening code is;
// - the bytes held are exactly those after the last LF, and there is always room to read.
#include "ftp/ftp_parse.h"
#include "ftp/reply_assembler.h"
#include "fuzz/fuzz_check.h"

#include <cstddef>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>
#include <vector>

namespace tarn {
namespace {

struct TSeen
{
    std::vector<TFtpReplyLine> Lines;
    std::size_t Held = 0;
    bool Inside = false;
};

bool Same(const TFtpReplyLine &A, const TFtpReplyLine &B)
{
    return A.Text == B.Text && A.Final == B.Final && A.Cut == B.Cut;
}

// Feeds Stream in reads whose sizes come from Sizes (the whole room when it runs out).
TSeen Feed(const std::string &Stream, FuzzedDataProvider *Sizes)
{
    TFtpReplyAssembler assembler;
    TSeen seen;
    std::size_t at = 0;
    while (at < Stream.size()) {
        char *space = assembler.Space();
        FUZZ_CHECK(assembler.SpaceLen() > 0);
        std::size_t count = std::min(assembler.SpaceLen(), Stream.size() - at);
        if (Sizes && Sizes->remaining_bytes() > 0)
            count = Sizes->ConsumeIntegralInRange<std::size_t>(1, count);
        std::copy_n(Stream.data() + at, count, space);
        assembler.Commit(count);
        at += count;
        TFtpReplyLine line;
        while (assembler.NextLine(line))
            seen.Lines.push_back(line);
    }
    seen.Held = assembler.Held();
    seen.Inside = assembler.InsideReply();
    return seen;
}

} // namespace
} // namespace tarn

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    using namespace tarn;
    FuzzedDataProvider provider(Data, Size);
    const std::string stream =
        provider.ConsumeRandomLengthString(3 * TFtpReplyAssembler::BufferSize);
    const TSeen whole = Feed(stream, nullptr);
    const TSeen split = Feed(stream, &provider);

    FUZZ_CHECK(whole.Lines.size() == split.Lines.size());
    for (std::size_t i = 0; i < whole.Lines.size(); ++i)
        FUZZ_CHECK(Same(whole.Lines[i], split.Lines[i]));
    FUZZ_CHECK(whole.Held == split.Held && whole.Inside == split.Inside);

    constexpr std::size_t Buffer = TFtpReplyAssembler::BufferSize;
    std::string open; // the code of the open multi-line reply
    for (const TFtpReplyLine &line : whole.Lines) {
        FUZZ_CHECK(line.Text.find('\n') == std::string::npos);
        if (line.Cut)
            FUZZ_CHECK(line.Text.size() == Buffer || line.Text.size() == Buffer - 1);
        else
            FUZZ_CHECK(line.Text.size() < Buffer);
        const bool coded = ReplyCode(line.Text) != 0;
        bool final = true;
        if (!open.empty()) {
            final = coded && line.Text.compare(0, 3, open) == 0 &&
                    (line.Text.size() == 3 || line.Text[3] == ' ');
            if (final)
                open.clear();
        } else if (coded && line.Text.size() > 3 && line.Text[3] == '-') {
            open = line.Text.substr(0, 3);
            final = false;
        }
        FUZZ_CHECK(line.Final == final);
    }
    FUZZ_CHECK(whole.Inside == !open.empty());
    // Held bytes: what follows the last LF, unless a cut line's tail is being dropped.
    const std::size_t lastLf = stream.rfind('\n');
    const std::size_t tail =
        lastLf == std::string::npos ? stream.size() : stream.size() - lastLf - 1;
    FUZZ_CHECK(whole.Held <= tail);
    if (tail < Buffer && (whole.Lines.empty() || !whole.Lines.back().Cut))
        FUZZ_CHECK(whole.Held == tail);
    return 0;
}
