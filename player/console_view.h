#pragma once

// The player without a window: every log line goes to an output stream as it is appended, and
// a whole run maps onto an exit status for schedulers.

#include "command_line.h"
#include "player_view.h"

#include <cstdio>

namespace tarn {

class ConsoleView : public PlayerView
{
public:
    explicit ConsoleView(std::FILE *out) : m_Out(out) {}

    void LogLineAppended(const std::string &line) override;
    void LogCleared() override {}
    void StatusChanged(const std::string &) override {}
    void ScriptChanged() override {}
    void RunningChanged(bool) override {}
    void CloseRequested() override {}

private:
    std::FILE *m_Out;
};

// Loads and runs the script of `line` (which must name one) and returns the exit status:
// 0 the run reached its end, 1 a failing command stopped it, 2 the script could not be loaded
// or an error escaped a command. Errors are written to `err` prefixed with "tarnsp: ".
int RunInConsole(const PlayerCommandLine &line, std::FILE *out, std::FILE *err);

} // namespace tarn
