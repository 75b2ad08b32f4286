#include "player/console_view.h"

#include "player/script_check.h"
#include "player/signal_watcher.h"
#include "player/tarn_player.h"
#include "support/local_files.h"

#include <QObject>
#include <exception>
#include <unistd.h>

namespace tarn {

namespace {

void PrintWarnings(const std::string &FileName, const std::vector<TScriptWarning> &Warnings,
                   std::FILE *Out, const char *Prefix)
{
    for (const TScriptWarning &warning : Warnings)
        std::fprintf(Out, "%s%s:%zu: %s\n", Prefix, FileName.c_str(), warning.LineNumber,
                     warning.Text.c_str());
    std::fflush(Out);
}

} // namespace

TConsoleView::TConsoleView(std::FILE *Out, std::FILE *Err, std::FILE *Progress)
    : FOut(Out), FErr(Err), FProgress(Progress), FFlushEachLine(::isatty(::fileno(Out)) == 1),
      FLastFlush(std::chrono::steady_clock::now())
{
    FFlushTimer.setSingleShot(true);
    QObject::connect(&FFlushTimer, &QTimer::timeout,
                     [this] { FlushOut(std::chrono::steady_clock::now()); });
}

TConsoleView::~TConsoleView()
{
    WipeProgress();
    FlushOut(std::chrono::steady_clock::now());
}

void TConsoleView::LogLineAppended(const std::string &Line)
{
    WipeProgress();
    if (FOutLost)
        return;
    // The log is written from the main thread only: the stream's lock is not needed, and
    // taking it twice per line was a tenth of the cost of a long listing's lines.
    fwrite_unlocked(Line.data(), 1, Line.size(), FOut);
    fputc_unlocked('\n', FOut);
    // A terminal shows every line at once. A file or a pipe gets the log in blocks (a listing
    // of many lines would otherwise cost a system call each): what waits is written as soon as
    // the program waits for the network (a zero timer fires when the event loop runs), so that
    // a scheduler or a reader of the pipe sees the log up to what is going on now.
    if (FFlushEachLine)
        FlushOut(std::chrono::steady_clock::now());
    else if (std::ferror(FOut))
        FOutLost = true;
    else if (!FFlushTimer.isActive())
        FFlushTimer.start(0);
}

void TConsoleView::FlushOut(std::chrono::steady_clock::time_point Now)
{
    FLastFlush = Now;
    if (!FOutLost && (std::fflush(FOut) != 0 || std::ferror(FOut)))
        FOutLost = true;
}

void TConsoleView::BetweenLines()
{
    // Local commands do not run the event loop: their lines go out at least once a second.
    const auto now = std::chrono::steady_clock::now();
    if (now - FLastFlush >= std::chrono::seconds(1))
        FlushOut(now);
    if (OnBetweenLines)
        OnBetweenLines();
}

void TConsoleView::CommandFailed(std::size_t LineNumber, const std::string &Keyword,
                                 const std::string &Reason)
{
    WipeProgress();
    FlushOut(std::chrono::steady_clock::now()); // the log up to the failure comes first
    std::fprintf(FErr, "tarnsp: line %zu: %s failed%s%s\n", LineNumber, Keyword.c_str(),
                 Reason.empty() ? "" : ": ", Reason.c_str());
    std::fflush(FErr);
}

void TConsoleView::SyntaxError(std::size_t LineNumber, const std::string &Message)
{
    WipeProgress();
    FlushOut(std::chrono::steady_clock::now());
    std::fprintf(FErr, "tarnsp: line %zu: %s\n", LineNumber, Message.c_str());
    std::fflush(FErr);
}

void TConsoleView::TransferProgress(int64_t Count, int64_t Total)
{
    if (!FProgress)
        return;
    if (Count < 0) {
        WipeProgress();
        return;
    }
    // A block arrives every few kilobytes; a terminal needs a new figure a few times a second.
    const auto now = std::chrono::steady_clock::now();
    if (FProgressShown && now - FLastProgress < std::chrono::milliseconds(100))
        return;
    FLastProgress = now;
    if (Total > 0)
        std::fprintf(FProgress, "\r\033[K%lld of %lld bytes (%lld%%)",
                     static_cast<long long>(Count), static_cast<long long>(Total),
                     static_cast<long long>(Count * 100 / Total));
    else
        std::fprintf(FProgress, "\r\033[K%lld bytes", static_cast<long long>(Count));
    std::fflush(FProgress);
    FProgressShown = true;
}

void TConsoleView::WipeProgress()
{
    if (!FProgressShown)
        return;
    std::fputs("\r\033[K", FProgress);
    std::fflush(FProgress);
    FProgressShown = false;
}

int RunInConsole(const TPlayerCommandLine &Line, std::FILE *Out, std::FILE *Err)
{
    // A file or a pipe takes the log in blocks of 64 KiB rather than the stream's default 4 KiB:
    // a listing of 100,000 lines is then some hundred writes. Nothing has been written yet.
    if (::isatty(::fileno(Out)) != 1)
        std::setvbuf(Out, nullptr, _IOFBF, std::size_t(64) * 1024);
    // SIGINT and SIGTERM end a waiting engine call at once (through the event loop) or the run
    // before its next line (polled between lines); the run-end steps still run. The watcher
    // outlives the view, whose last lines go out when it is destroyed: with SIGPIPE ignored,
    // a reader that went away makes that an error, not the end of the program.
    TTarnPlayer *running = nullptr;
    TSignalWatcher signalWatcher([&running](int Signal) {
        if (running)
            running->Interrupt(Signal);
    });
    TConsoleView view(Out, Err, ::isatty(::fileno(Err)) ? Err : nullptr);
    TTarnPlayer player(view);
    running = &player;
    struct TForget
    {
        TTarnPlayer *&Running;
        ~TForget() { Running = nullptr; }
    } forget{running};
    view.OnBetweenLines = [&signalWatcher] { signalWatcher.Poll(); };

    const std::string script = Line.At(1);
    try {
        player.LoadScript(script);
    } catch (const std::exception &error) {
        std::fprintf(Err, "tarnsp: %s\n", error.what());
        return 2;
    }
    if (Line.DeleteSwitch() && ::unlink(script.c_str()) != 0)
        std::fprintf(Err, "tarnsp: could not delete the script file \"%s\"\n", script.c_str());
    PrintWarnings(script, CheckScript(player.Script()), Err, "tarnsp: warning: ");
    signalWatcher.Poll();
    bool escaped = false;
    try {
        player.ExecuteButtonClick();
    } catch (const std::exception &error) {
        std::fflush(Out);
        std::fprintf(Err, "tarnsp: %s\n", error.what());
        escaped = true;
    }
    signalWatcher.Poll();
    if (player.InterruptSignal() != 0)
        return player.ExitStatus();
    if (escaped)
        return 2;
    const int status = player.ExitStatus();
    if (status == 3)
        std::fprintf(Err, "tarnsp: the run reached its end, but %d command%s failed\n",
                     player.FailedCommands, player.FailedCommands == 1 ? "" : "s");
    return status;
}

int CheckScriptFile(const std::string &FileName, std::FILE *Out, std::FILE *Err)
{
    std::string text;
    if (const TLocalFileError error = ReadRegularFile(FileName, TTarnPlayer::MaxScriptSize, text)) {
        std::fprintf(Err, "tarnsp: Cannot open file \"%s\". %s\n", FileName.c_str(),
                     error.Text.c_str());
        return 2;
    }
    const std::vector<TScriptWarning> warnings = CheckScript(SplitScriptText(text));
    PrintWarnings(FileName, warnings, Out, "");
    return warnings.empty() ? 0 : 1;
}

} // namespace tarn
