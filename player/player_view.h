#pragma once

// What the player's logic tells whoever shows it: the window, the console or a test. The logic
// never reaches a person any other way, so the same run behaves alike in all three.

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarn {

class TPlayerView
{
public:
    virtual ~TPlayerView() = default;

    // The log sink: a line was appended at the end of the log, or the log was emptied.
    virtual void LogLineAppended(const std::string &Line) = 0;
    virtual void LogCleared() = 0;

    // The status line: transfer progress and dial-up state replace its one text.
    virtual void StatusChanged(const std::string &Text) = 0;

    // A transfer has moved `Count` bytes so far, of `Total` (-1 when the size is not known).
    // A count of -1 says that the transfer has ended.
    virtual void TransferProgress(int64_t Count, int64_t Total)
    {
        (void)Count;
        (void)Total;
    }

    // The script was replaced by a load.
    virtual void ScriptChanged() = 0;

    // The Running look (Play disabled, Stop enabled) starts, or ends with the run's step 8. An
    // error that escapes a command ends the run without the second call.
    virtual void RunningChanged(bool Running) = 0;

    // The run ended with ExitWhenDone set: the program should close.
    virtual void CloseRequested() = 0;

    // Called between two script lines so that a window can keep its event loop turning (Stop,
    // repaints) and a console can take in signals. Must not run script lines itself.
    virtual void BetweenLines() {}

    // The command on script line `LineNumber` (counted from 1) failed for `Reason` (which may be
    // empty), or the line held a syntax error whose log line is `Message`. The log has its own
    // lines already; these are for a second channel such as standard error.
    virtual void CommandFailed(std::size_t LineNumber, const std::string &Keyword,
                               const std::string &Reason)
    {
        (void)LineNumber;
        (void)Keyword;
        (void)Reason;
    }
    virtual void SyntaxError(std::size_t LineNumber, const std::string &Message)
    {
        (void)LineNumber;
        (void)Message;
    }
};

} // namespace tarn
