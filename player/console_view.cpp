#include "player/console_view.h"

#include "player/tarn_player.h"

#include <exception>
#include <unistd.h>

namespace tarn {

void ConsoleView::LogLineAppended(const std::string &line)
{
    WipeProgress();
    // Flushed line by line so that a scheduler or a pipe sees the log as it grows.
    std::fwrite(line.data(), 1, line.size(), m_Out);
    std::fputc('\n', m_Out);
    std::fflush(m_Out);
}

void ConsoleView::TransferProgress(int64_t count, int64_t total)
{
    if (!m_Progress)
        return;
    if (count < 0) {
        WipeProgress();
        return;
    }
    // A block arrives every few kilobytes; a terminal needs a new figure a few times a second.
    const auto now = std::chrono::steady_clock::now();
    if (m_ProgressShown && now - m_LastProgress < std::chrono::milliseconds(100))
        return;
    m_LastProgress = now;
    if (total > 0)
        std::fprintf(m_Progress, "\r\033[K%lld of %lld bytes (%lld%%)",
                     static_cast<long long>(count), static_cast<long long>(total),
                     static_cast<long long>(count * 100 / total));
    else
        std::fprintf(m_Progress, "\r\033[K%lld bytes", static_cast<long long>(count));
    std::fflush(m_Progress);
    m_ProgressShown = true;
}

void ConsoleView::WipeProgress()
{
    if (!m_ProgressShown)
        return;
    std::fputs("\r\033[K", m_Progress);
    std::fflush(m_Progress);
    m_ProgressShown = false;
}

int RunInConsole(const PlayerCommandLine &line, std::FILE *out, std::FILE *err)
{
    ConsoleView view(out, ::isatty(::fileno(err)) ? err : nullptr);
    TTarnPlayer player(view);
    const std::string script = line.At(1);
    try {
        player.LoadScript(script);
    } catch (const std::exception &error) {
        std::fprintf(err, "tarnsp: %s\n", error.what());
        return 2;
    }
    if (line.DeleteSwitch() && ::unlink(script.c_str()) != 0)
        std::fprintf(err, "tarnsp: could not delete the script file \"%s\"\n", script.c_str());
    try {
        player.ExecuteButtonClick();
    } catch (const std::exception &error) {
        std::fflush(out);
        std::fprintf(err, "tarnsp: %s\n", error.what());
        return 2;
    }
    return player.StoppedByFailure ? 1 : 0;
}

} // namespace tarn
