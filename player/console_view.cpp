#include "console_view.h"

#include "tarn_player.h"

#include <exception>
#include <unistd.h>

namespace tarn {

void ConsoleView::LogLineAppended(const std::string &line)
{
    // Flushed line by line so that a scheduler or a pipe sees the log as it grows.
    std::fwrite(line.data(), 1, line.size(), m_Out);
    std::fputc('\n', m_Out);
    std::fflush(m_Out);
}

int RunInConsole(const PlayerCommandLine &line, std::FILE *out, std::FILE *err)
{
    ConsoleView view(out);
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
