#include "player/console_view.h"

#include "player/tarn_player.h"

#include <exception>
#include <unistd.h>

namespace tarn {

void TConsoleView::LogLineAppended(const std::string &Line)
{
    WipeProgress();
    // Flushed line by line so that a scheduler or a pipe sees the log as it grows.
    std::fwrite(Line.data(), 1, Line.size(), FOut);
    std::fputc('\n', FOut);
    std::fflush(FOut);
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
    TConsoleView view(Out, ::isatty(::fileno(Err)) ? Err : nullptr);
    TTarnPlayer player(view);
    const std::string script = Line.At(1);
    try {
        player.LoadScript(script);
    } catch (const std::exception &error) {
        std::fprintf(Err, "tarnsp: %s\n", error.what());
        return 2;
    }
    if (Line.DeleteSwitch() && ::unlink(script.c_str()) != 0)
        std::fprintf(Err, "tarnsp: could not delete the script file \"%s\"\n", script.c_str());
    try {
        player.ExecuteButtonClick();
    } catch (const std::exception &error) {
        std::fflush(Out);
        std::fprintf(Err, "tarnsp: %s\n", error.what());
        return 2;
    }
    return player.StoppedByFailure ? 1 : 0;
}

} // namespace tarn
