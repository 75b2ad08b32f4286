// Measures the client's window on listings of 100,000 entries in each server format, served by
// tools/testftpd: the time to fetch, parse, sort and show a listing, the time of a column click
// that re-sorts it, and the longest stretch without a pass of the event loop meanwhile. curl
// fetches the same listing from the same server, for a ratio.

#include "client/ui/tarn_main_window.h"
#include "tests/common/test_ftp_server.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <vector>

using namespace tarn;

namespace {

constexpr int Entries = 100000;
constexpr int Runs = 5;

// Listing lines as each kind of server writes them: one directory in ten, sizes spread over
// seven digits, names in no particular order.
std::string ListingLine(const std::string &Personality, int Index)
{
    const unsigned mixed = unsigned(Index) * 2654435761u; // spreads the names and sizes
    const bool directory = Index % 10 == 0;
    const unsigned size = mixed % 9999991;
    char name[32];
    std::snprintf(name, sizeof name, "%s%08x.txt", directory ? "dir" : "file", mixed);
    char line[160];
    if (Personality == "unix") {
        std::snprintf(line, sizeof line, "%s   1 tester   tester   %8u Dec 08 07:22 %s",
                      directory ? "drwxr-xr-x" : "-rw-r--r--", directory ? 4096 : size, name);
    } else if (Personality == "windows") {
        if (directory)
            std::snprintf(line, sizeof line, "12-08-25  07:22AM       <DIR>          %s", name);
        else
            std::snprintf(line, sizeof line, "12-08-25  07:22AM %20u %s", size, name);
    } else {
        std::snprintf(line, sizeof line, "%-10s %10u %8s %8s %-10s %s", "QPGMR", size, "12/08/25",
                      "07:22:00", directory ? "*DIR" : "*STMF", name);
    }
    return line;
}

// The window, logged in without its dialog.
class TBenchWindow : public TTarnMainWindow
{
public:
    using TTarnMainWindow::TTarnMainWindow;
    TLoginChoice Login;
    std::optional<TLoginChoice> RunLoginDialog(const TLoginRequest &) override { return Login; }
};

// Watches the event loop: the longest time between two passes while it runs.
class TLoopWatch
{
public:
    TLoopWatch()
    {
        FTimer.setInterval(0);
        QObject::connect(&FTimer, &QTimer::timeout,
                         [this] { FLongest = std::max(FLongest, FSince.restart()); });
    }
    void Start()
    {
        FLongest = 0;
        FSince.start();
        FTimer.start();
    }
    qint64 Stop()
    {
        FTimer.stop();
        return std::max(FLongest, FSince.elapsed());
    }

private:
    QTimer FTimer;
    QElapsedTimer FSince;
    qint64 FLongest = 0;
};

double Median(std::vector<double> Values)
{
    std::sort(Values.begin(), Values.end());
    return Values[Values.size() / 2];
}

double MillisecondsSince(const QElapsedTimer &Timer)
{
    return double(Timer.nsecsElapsed()) / 1e6;
}

// Paints the whole window now, as the screen would get it.
void Show(QWidget &Window)
{
    QApplication::processEvents();
    (void)Window.grab();
}

void Measure(const std::string &Personality, const QTemporaryDir &Folder)
{
    const std::string canned = Folder.filePath(QString::fromStdString(Personality)).toStdString();
    {
        std::ofstream out(canned, std::ios::binary);
        for (int i = 0; i < Entries; ++i)
            out << ListingLine(Personality, i) << "\r\n";
    }
    TTestFtpServerOptions options;
    options.Personality = Personality;
    options.ExtraArgs = {"--listing-file", canned};
    TTestFtpServer server(options);

    TBenchWindow window;
    window.Login.Values.URLOrIP = "127.0.0.1";
    window.Login.Values.UserName = "tester";
    window.Login.Values.PassWord = "secret";
    window.Login.Values.Port = std::to_string(server.Port());
    window.Login.Values.Timeout = "60";
    window.Login.Values.LocalDir = Folder.path().toStdString();
    window.Login.Values.HostDir = "/";
    window.Logic().FormCreate({});
    window.show();
    window.Logic().LoginButtonClick();
    TTarnMain &logic = window.Logic();
    if (logic.FileView.Model.Count() + logic.DirView.Model.Count() < Entries) {
        std::printf("%-8s the listing did not arrive (%d entries)\n", Personality.c_str(),
                    logic.FileView.Model.Count() + logic.DirView.Model.Count());
        return;
    }

    TLoopWatch watch;
    std::vector<double> listing, resort, longest;
    for (int run = 0; run < Runs; ++run) {
        QElapsedTimer timer;
        watch.Start();
        timer.start();
        logic.DirectoryList();
        Show(window);
        listing.push_back(MillisecondsSince(timer));
        longest.push_back(double(watch.Stop()));

        timer.start();
        logic.FileViewColumnClick(run % 2 == 0 ? 1 : 2); // by size, by date
        Show(window);
        resort.push_back(MillisecondsSince(timer));
        logic.FileViewColumnClick(0);
    }

    std::vector<double> curl;
    const QString url = QString("ftp://127.0.0.1:%1/").arg(server.Port());
    for (int run = 0; run < Runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        QProcess::execute("curl", {"-s", "-P", "-", "-u", "tester:secret", "-o", "/dev/null", url});
        curl.push_back(MillisecondsSince(timer));
    }
    std::printf("%-8s %8.0f ms %8.0f ms %8.0f ms %8.0f ms %6.2f\n", Personality.c_str(),
                Median(listing), Median(resort), Median(longest), Median(curl),
                Median(listing) / Median(curl));
    logic.LogoutButtonClick();
}

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    QTemporaryDir folder;
    std::printf("%d entries, median of %d runs\n", Entries, Runs);
    std::printf("%-8s %11s %11s %11s %11s %6s\n", "format", "list+show", "re-sort", "longest",
                "curl LIST", "ratio");
    for (const char *personality : {"unix", "windows", "os400"})
        Measure(personality, folder);
    return 0;
}
