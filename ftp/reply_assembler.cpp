#include "ftp/reply_assembler.h"

#include "ftp/ftp_parse.h"

#include <cstring>

namespace tarn {

namespace {

// Index of the first LF at or after From, or Len when there is none.
std::size_t FindLf(const char *Buffer, std::size_t From, std::size_t Len)
{
    const void *found = std::memchr(Buffer + From, '\n', Len - From);
    return found ? std::size_t(static_cast<const char *>(found) - Buffer) : Len;
}

} // namespace

void TFtpReplyAssembler::Reset()
{
    FStart = FLen = 0;
    FDiscarding = false;
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
        const std::size_t end = FindLf(FBuffer, FStart, FLen);
        FStart = end == FLen ? FLen : end + 1;
        if (end == FLen)
            return false;
        FDiscarding = false;
    }
    const std::size_t end = FindLf(FBuffer, FStart, FLen);
    if (end < FLen) {
        std::size_t stop = end;
        if (stop > FStart && FBuffer[stop - 1] == '\r')
            --stop; // CR LF, or a bare LF as some servers end their lines
        Line.Text.assign(FBuffer + FStart, stop - FStart);
        Line.Cut = false;
        FStart = end + 1;
    } else if (FLen - FStart == BufferSize) {
        // The buffer is full and holds no line end: hand out what we have and drop the rest of
        // this line. A CR at the very end may be the first half of the line's CR LF.
        const std::size_t keep = FBuffer[FLen - 1] == '\r' ? BufferSize - 1 : BufferSize;
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
    const bool coded = ReplyCode(Text) != 0;
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
