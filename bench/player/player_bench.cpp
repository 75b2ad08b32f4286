// Measures whether the log or the run loop becomes the bottleneck of a long script: the cost of
// one log append at line 1 and at line 100,000 (logic with a console view, and the window), and
// the load and run time of a 100,000-line script of unknown words, CLEARLOG and local commands.

#include "player/console_view.h"
#include "player/tarn_player.h"
#include "player/ui/player_window.h"

#include <QApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>

using namespace tarn;

namespace {

using TClock = std::chrono::steady_clock;
constexpr int Lines = 100000;
constexpr int Block = 10000;

double Microseconds(TClock::duration D)
{
    return std::chrono::duration<double, std::micro>(D).count();
}

// User and system processor time of this process so far, in milliseconds.
std::pair<double, double> CpuMilliseconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &T) {
        return static_cast<double>(T.tv_sec) * 1000.0 + static_cast<double>(T.tv_usec) / 1000.0;
    };
    return {ms(usage.ru_utime), ms(usage.ru_stime)};
}

// Appends `Lines` log lines and prints the mean cost per line of the first and the last block.
void AppendCost(const char *Label, tarn::TTarnPlayer &Player, tarn::TPlayerView &View)
{
    Player.ClearLog();
    double first = 0;
    double last = 0;
    const std::string line = "< 250 Requested file action okay, completed.";
    for (int block = 0; block < Lines / Block; ++block) {
        const auto start = TClock::now();
        for (int i = 0; i < Block; ++i) {
            Player.AppendLog(line);
            View.BetweenLines();
        }
        const double perLine = Microseconds(TClock::now() - start) / Block;
        if (block == 0)
            first = perLine;
        last = perLine;
    }
    std::printf("%-34s %10.2f us %12.2f us %8.2f\n", Label, first, last, last / first);
}

// Ten lines per round. With local commands: free text, an unknown word, a setting, and a copy,
// a rename, a new and removed folder and a delete on a small tree. Without: the run loop alone,
// with a logged setting in their place.
std::string MakeScript(bool LocalCommands, bool ClearLog)
{
    const char *local[] = {"# free text is skipped",
                           "REM an unknown word",
                           "ONERROR CONTINUE",
                           "LOCALCOPY \"./tree/a.txt\" \"./tree/b.txt\"",
                           "LOCALREN \"./tree/b.txt\" \"c.txt\"",
                           "LOCALMD tree/sub",
                           "LOCALRD tree/sub",
                           "LOCALDEL tree/c.txt",
                           "SERVER example.invalid",
                           ClearLog ? "CLEARLOG" : "unknown"};
    const char *loop[] = {"# free text is skipped",
                          "REM an unknown word",
                          "ONERROR CONTINUE",
                          "ONERROR STOP",
                          "cdup\tnot a keyword",
                          " LOCALCD leading blank",
                          "ONERROR",
                          "PORT 2121",
                          "SERVER example.invalid",
                          ClearLog ? "CLEARLOG" : "unknown"};
    const char **round = LocalCommands ? local : loop;
    std::string script;
    for (int i = 0; i < Lines / 10; ++i) {
        for (int j = 0; j < 10; ++j) {
            script += round[j];
            script += "\r\n";
        }
    }
    return script;
}

void RunScript(const char *Label, tarn::TTarnPlayer &Player, const std::string &File)
{
    Player.ClearLog();
    const auto start = TClock::now();
    Player.LoadScript(File);
    const auto loaded = TClock::now();
    const auto cpuBefore = CpuMilliseconds();
    Player.ExecuteButtonClick();
    const auto cpuAfter = CpuMilliseconds();
    const auto done = TClock::now();
    std::printf("%-36s %7.1f %9.1f %9.1f %9.1f %10zu %8.2f\n", Label,
                Microseconds(loaded - start) / 1000, Microseconds(done - loaded) / 1000,
                cpuAfter.first - cpuBefore.first, cpuAfter.second - cpuBefore.second,
                Player.Log().size(), Microseconds(done - loaded) / Lines);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir folder;
    std::filesystem::current_path(folder.path().toStdString());
    std::filesystem::create_directory("tree");
    std::ofstream("tree/a.txt") << "a small file\n";
    std::ofstream("loop.tns", std::ios::binary) << MakeScript(false, false);
    std::ofstream("loop-clear.tns", std::ios::binary) << MakeScript(false, true);
    std::ofstream("local.tns", std::ios::binary) << MakeScript(true, false);
    std::ofstream("local-clear.tns", std::ios::binary) << MakeScript(true, true);

    std::FILE *null = std::fopen("/dev/null", "w");
    tarn::TConsoleView console(null, stderr);
    tarn::TTarnPlayer consolePlayer(console);
    tarn::TPlayerWindow window{tarn::TPlayerCommandLine()};
    window.show();
    QApplication::processEvents();

    std::printf("Log append, mean per line       first 10,000  last 10,000 of 100,000 ratio\n");
    AppendCost("console view (to /dev/null)", consolePlayer, console);
    AppendCost("window view (ScriptLog)", window.Player(), window);

    std::printf("\n100,000-line script (ms)             load       run  run user   run sys  "
                "log lines  us/line\n");
    const struct
    {
        const char *Label;
        const char *File;
    } scripts[] = {{"run loop only", "loop.tns"},
                   {"run loop only, CLEARLOG", "loop-clear.tns"},
                   {"local commands", "local.tns"},
                   {"local commands, CLEARLOG", "local-clear.tns"}};
    for (const auto &script : scripts) {
        RunScript((std::string("console: ") + script.Label).c_str(), consolePlayer, script.File);
        RunScript((std::string("window:  ") + script.Label).c_str(), window.Player(), script.File);
    }
    std::fclose(null);
    std::filesystem::current_path("/");
    return 0;
}
