#pragma once

#include <cstddef>
#include <string>

namespace tarn {

// One line of a server reply, as the assembler hands it to the engine.
struct TFtpReplyLine
{
    std::string Text;  // the line without its CR LF
    bool Final = true; // this line ends the reply (the engine judges it)
    bool Cut = false;  // the line was longer than the buffer and lost its tail
};

// Cuts the byte stream of an FTP control connection into reply lines, apart from any
// judging. The caller receives straight into Space() and reports the count with Commit(), then
// takes lines with NextLine() until it returns false; incomplete lines stay for the next read.
//
// A line ends at LF; a CR right before the LF is dropped, so CR LF and the bare LF some servers
// send both end a line, while a lone CR inside a line stays part of its text. A line that fills
// the whole buffer without a line end is handed out cut at the buffer's size and the rest of it,
// up to its LF, is dropped, so an over-long line never stalls the connection.
//
// Multi-line replies follow RFC 959: a line starting with three digits and '-' opens a reply
// that only a line starting with the same three digits and a blank (or nothing) closes; every
// line in between, whatever it holds, is part of that reply and is not Final.
class TFtpReplyAssembler
{
public:
    static constexpr std::size_t BufferSize = 4096;

    // Forgets held bytes and any open multi-line reply (a new connection starts).
    void Reset();

    // Where the next read goes and how many bytes fit there (never 0).
    char *Space();
    std::size_t SpaceLen() const { return BufferSize - FLen; }
    void Commit(std::size_t Count);

    // The next complete line, or false when none is held.
    bool NextLine(TFtpReplyLine &Line);

    // Bytes held that do not form a complete line yet.
    std::size_t Held() const { return FLen - FStart; }
    // A multi-line reply has been opened and its closing line has not come yet.
    bool InsideReply() const { return !FOpenCode.empty(); }

private:
    bool Classify(const std::string &Text);

    char FBuffer[BufferSize] = {};
    std::size_t FStart = 0;   // first byte not yet handed out
    std::size_t FLen = 0;     // bytes in Buffer
    bool FDiscarding = false; // dropping the tail of a cut line
    std::string FOpenCode;    // code of the open multi-line reply, empty when none is open
};

} // namespace tarn
