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

class ConsoleView : public PlayerView
{
public:
    explicit ConsoleView(std::FILE *out, std::FILE *progress = nullptr)
        : m_Out(out), m_Progress(progress)
    {
    }
    ~ConsoleView() override { WipeProgress(); }

    void LogLineAppended(const std::string &line) override;
    void LogCleared() override {}
    void StatusChanged(const std::string &) override {}
    void TransferProgress(int64_t count, int64_t total) override;
    void ScriptChanged() override {}
    void RunningChanged(bool) override {}
    void CloseRequested() override {}

private:
    void WipeProgress();

    std::FILE *m_Out;
    std::FILE *m_Progress;
    bool m_ProgressShown = false;
    std::chrono::steady_clock::time_point m_LastProgress;
};

// Loads and runs the script of `line` (which must name one) and returns the exit status:
// 0 the run reached its end, 1 a failing command stopped it, 2 the script could not be loaded
// or an error escaped a command. Errors are written to `err` prefixed with "tarnsp: ", and so is
// the progress of transfers when `err` is a terminal.
int RunInConsole(const PlayerCommandLine &line, std::FILE *out, std::FILE *err);

} // namespace tarn
