#pragma once

// The player without a window: every log line goes to an output stream as it is appended, and
// a whole run maps onto an exit status for schedulers. With a progress stream (a terminal), a
// running transfer shows one line there that is rewritten in place and wiped before the next
// log line, so that the log itself stays exactly the log.

#include "player/command_line.h"
#include "player/player_view.h"

#include <chrono>
#include <cstdio>

namespace tarn {

class TConsoleView : public TPlayerView
{
public:
    explicit TConsoleView(std::FILE *Out, std::FILE *Progress = nullptr)
        : FOut(Out), FProgress(Progress)
    {
    }
    ~TConsoleView() override { WipeProgress(); }

    void LogLineAppended(const std::string &Line) override;
    void LogCleared() override {}
    void StatusChanged(const std::string &) override {}
    void TransferProgress(int64_t Count, int64_t Total) override;
    void ScriptChanged() override {}
    void RunningChanged(bool) override {}
    void CloseRequested() override {}

private:
    void WipeProgress();

    std::FILE *FOut;
    std::FILE *FProgress;
    bool FProgressShown = false;
    std::chrono::steady_clock::time_point FLastProgress;
};

// Loads and runs the script of `Line` (which must name one) and returns the exit status:
// 0 the run reached its end, 1 a failing command stopped it, 2 the script could not be loaded
// or an error escaped a command. Errors are written to `Err` prefixed with "tarnsp: ", and so is
// the progress of transfers when `Err` is a terminal.
int RunInConsole(const TPlayerCommandLine &Line, std::FILE *Out, std::FILE *Err);

} // namespace tarn
