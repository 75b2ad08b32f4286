#include "ftp/reply_assembler.h"

#include <cstring>

namespace tarn {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Index of the first CR LF at or after From, or Len when there is none.
std::size_t FindCrLf(const char *Buffer, std::size_t From, std::size_t Len)
{
    for (std::size_t i = From; i + 1 < Len; ++i)
        if (Buffer[i] == '\r' && Buffer[i + 1] == '\n')
            return i;
    return Len;
}

} // namespace

void TFtpReplyAssembler::Reset()
{
    Start = Len = 0;
    Discarding = DiscardSawCR = false;
    OpenCode.clear();
}

char *TFtpReplyAssembler::Space()
{
    if (Start > 0) {
        std::memmove(Buffer, Buffer + Start, Len - Start);
        Len -= Start;
        Start = 0;
    }
    return Buffer + Len;
}

void TFtpReplyAssembler::Commit(std::size_t Count)
{
    Len += Count <= SpaceLen() ? Count : SpaceLen();
}

bool TFtpReplyAssembler::NextLine(TFtpReplyLine &Line)
{
    if (Discarding) {
        if (Start == Len)
            return false;
        if (DiscardSawCR && Start < Len && Buffer[Start] == '\n') {
            ++Start;
            Discarding = false;
        } else {
            const std::size_t end = FindCrLf(Buffer, Start, Len);
            if (end == Len) {
                DiscardSawCR = Len > Start && Buffer[Len - 1] == '\r';
                Start = Len;
                return false;
            }
            Start = end + 2;
            Discarding = false;
        }
    }
    const std::size_t end = FindCrLf(Buffer, Start, Len);
    if (end < Len) {
        Line.Text.assign(Buffer + Start, end - Start);
        Line.Cut = false;
        Start = end + 2;
    } else if (Len - Start == BufferSize) {
        // The buffer is full and holds no line end: hand out what we have and drop the rest of
        // this line. A CR at the very end may be the first half of the line's CR LF.
        std::size_t keep = BufferSize;
        DiscardSawCR = Buffer[Len - 1] == '\r';
        if (DiscardSawCR)
            --keep;
        Line.Text.assign(Buffer + Start, keep);
        Line.Cut = true;
        Discarding = true;
        Start = Len;
    } else {
        return false;
    }
    Line.Final = Classify(Line.Text);
    return true;
}

bool TFtpReplyAssembler::Classify(const std::string &Text)
{
    const bool coded = Text.size() >= 3 && IsDigit(Text[0]) && IsDigit(Text[1]) && IsDigit(Text[2]);
    if (!OpenCode.empty()) {
        if (coded && Text.compare(0, 3, OpenCode) == 0 && (Text.size() == 3 || Text[3] == ' ')) {
            OpenCode.clear();
            return true;
        }
        return false;
    }
    if (coded && Text.size() >= 4 && Text[3] == '-') {
        OpenCode = Text.substr(0, 3);
        return false;
    }
    return true;
}

} // namespace tarn
