#include "ftp/reply_assembler.h"

#include <cstring>

namespace tarn {

namespace {

bool IsDigit(char C)
{
    return C >= '0' && C <= '9';
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
    FStart = FLen = 0;
    FDiscarding = FDiscardSawCr = false;
    FOpenCode.clear();
}

char *TFtpReplyAssembler::Space()
{
    if (FStart > 0) {
        std::memmove(FBuffer, FBuffer + FStart, FLen - FStart);
        FLen -= FStart;
        FStart = 0;
    }
    return FBuffer + FLen;
}

void TFtpReplyAssembler::Commit(std::size_t Count)
{
    FLen += Count <= SpaceLen() ? Count : SpaceLen();
}

bool TFtpReplyAssembler::NextLine(TFtpReplyLine &Line)
{
    if (FDiscarding) {
        if (FStart == FLen)
            return false;
        if (FDiscardSawCr && FStart < FLen && FBuffer[FStart] == '\n') {
            ++FStart;
            FDiscarding = false;
        } else {
            const std::size_t end = FindCrLf(FBuffer, FStart, FLen);
            if (end == FLen) {
                FDiscardSawCr = FLen > FStart && FBuffer[FLen - 1] == '\r';
                FStart = FLen;
                return false;
            }
            FStart = end + 2;
            FDiscarding = false;
        }
    }
    const std::size_t end = FindCrLf(FBuffer, FStart, FLen);
    if (end < FLen) {
        Line.Text.assign(FBuffer + FStart, end - FStart);
        Line.Cut = false;
        FStart = end + 2;
    } else if (FLen - FStart == BufferSize) {
        // The buffer is full and holds no line end: hand out what we have and drop the rest of
        // this line. A CR at the very end may be the first half of the line's CR LF.
        std::size_t keep = BufferSize;
        FDiscardSawCr = FBuffer[FLen - 1] == '\r';
        if (FDiscardSawCr)
            --keep;
        Line.Text.assign(FBuffer + FStart, keep);
        Line.Cut = true;
        FDiscarding = true;
        FStart = FLen;
    } else {
        return false;
    }
    Line.Final = Classify(Line.Text);
    return true;
}

bool TFtpReplyAssembler::Classify(const std::string &Text)
{
    const bool coded = Text.size() >= 3 && IsDigit(Text[0]) && IsDigit(Text[1]) && IsDigit(Text[2]);
    if (!FOpenCode.empty()) {
        if (coded && Text.compare(0, 3, FOpenCode) == 0 && (Text.size() == 3 || Text[3] == ' ')) {
            FOpenCode.clear();
            return true;
        }
        return false;
    }
    if (coded && Text.size() >= 4 && Text[3] == '-') {
        FOpenCode = Text.substr(0, 3);
        return false;
    }
    return true;
}

} // namespace tarn
