#pragma once

// The player without a window: every log line goes to an output stream as it is appended (at
// once on a terminal; on a file or a pipe in blocks, written whenever the player waits for the
// network, at least once a second, before a failure is told and at the end), and a whole run maps
// onto an exit status for schedulers. With a progress stream (a terminal), a running transfer shows
// one line there that is rewritten in place and wiped before the next log line, so that the log
// itself stays exactly the log. Failures and syntax errors are told a second time on the error
// stream, with their script line.

#include "player/command_line.h"
#include "player/player_view.h"

#include <QTimer>
#include <chrono>
#include <cstdio>
#include <functional>

namespace tarn {

class TConsoleView : public TPlayerView
{
public:
    TConsoleView(std::FILE *Out, std::FILE *Err, std::FILE *Progress = nullptr);
    ~TConsoleView() override;

    // Called between two script lines (the console takes in signals there).
    std::function<void()> OnBetweenLines;

    void LogLineAppended(const std::string &Line) override;
    void LogCleared() override {}
    void StatusChanged(const std::string &) override {}
    void TransferProgress(int64_t Count, int64_t Total) override;
    void ScriptChanged() override {}
    void RunningChanged(bool) override {}
    void CloseRequested() override {}
    void BetweenLines() override;
    void CommandFailed(std::size_t LineNumber, const std::string &Keyword,
                       const std::string &Reason) override;
    void SyntaxError(std::size_t LineNumber, const std::string &Message) override;

private:
    void WipeProgress();
    void FlushOut(std::chrono::steady_clock::time_point Now);

    std::FILE *FOut;
    std::FILE *FErr;
    std::FILE *FProgress;
    // Standard output failed (its reader went away): the run goes on, without it.
    bool FOutLost = false;
    bool FFlushEachLine;
    std::chrono::steady_clock::time_point FLastFlush;
    QTimer FFlushTimer;
    bool FProgressShown = false;
    std::chrono::steady_clock::time_point FLastProgress;
};

// Loads and runs the script of `Line` (which must name one) and returns the exit status:
// 0 every command succeeded; 1 a failure, a syntax error stopped the run; 2 the script could not
// be loaded or an error escaped a command; 3 the run reached its end with failed commands (their
// number goes to `Err`); 128 + the signal for SIGINT and SIGTERM. The warnings of CheckScript
// go to `Err` before the run. Errors are written to `Err` prefixed with "tarnsp: ", and so is
// the progress of transfers when `Err` is a terminal.
int RunInConsole(const TPlayerCommandLine &Line, std::FILE *Out, std::FILE *Err);

// tarnsp --check: prints the warnings of CheckScript for the file as "FILE:LINE: text" on
// `Out`; returns 0 when there are none, 1 when there are, 2 when the file cannot be read.
int CheckScriptFile(const std::string &FileName, std::FILE *Out, std::FILE *Err);

} // namespace tarn
