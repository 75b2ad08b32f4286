// Measures the coloured script editor on a long script: opening it (setting the text until the
// first coloured paint) and typing one character (until the change is coloured and painted),
// against a plain QPlainTextEdit doing the same in the same run; opening the script from its
// file in the player's window, whose script view is the coloured editor; and opening it on the
// client's script page (Scripts, Open Script) and typing there. Each measure is taken as
// wall time and as the processor time of the thread, which other programs on a loaded machine do
// not inflate.

#include "client/ui/tarn_main_window.h"
#include "player/script_color_rules.h"
#include "player/script_language.h"
#include "player/ui/player_window.h"
#include "support/ui/color_memo.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int Lines = 100000;

double Milliseconds(Clock::duration D)
{
    return std::chrono::duration<double, std::milli>(D).count();
}

double ThreadCpuMilliseconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

// Wall and processor time of one measured step, in milliseconds.
struct TTime
{
    double Wall, Cpu;
};

template <typename F> TTime Measure(F &&Step)
{
    const auto wall = Clock::now();
    const double cpu = ThreadCpuMilliseconds();
    Step();
    return {Milliseconds(Clock::now() - wall), ThreadCpuMilliseconds() - cpu};
}

QString LoadAverage()
{
    QFile file("/proc/loadavg");
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).trimmed()
                                          : QString("unknown");
}

// A recorded script of Lines lines, as the client writes them, with some free text between.
QString MakeScript()
{
    const char *lines[] = {
        "PROFILE    /home/user/profiles/as400.tnc",
        "TIMEOUT    30",
        "CONNECT",
        "COMMAND    SITE NAMEFMT 1",
        "BINARY",
        "CHDIR      /QSYS.LIB/MYLIB.LIB",
        "RECEIVE    \"/home/user/data/file%1.txt\" \"FILE%1.FILE\"",
        "SEND       \"/home/user/data/out%1.txt\" \"OUT%1.FILE\"",
        "nightly transfer number %1, checked by the operator",
        "LOCALCOPY  \"/home/user/data/file%1.txt\" \"/home/user/archive/\"",
    };
    QString text;
    text.reserve(Lines * 48);
    for (int i = 0; i < Lines; ++i) {
        QString line = QString::fromLatin1(lines[i % 10]);
        if (line.contains("%1"))
            line = line.arg(i);
        text += line;
        text += u'\n';
    }
    text.chop(1);
    return text;
}

// Counts the paints of an editor's viewport, to make sure a measure includes one.
struct TPaintCounter : QObject
{
    int Paints = 0;
    bool eventFilter(QObject *, QEvent *Event) override
    {
        Paints += Event->type() == QEvent::Paint;
        return false;
    }
};

std::unique_ptr<QPlainTextEdit> MakeEditor(bool Colored, TPaintCounter &Counter)
{
    std::unique_ptr<QPlainTextEdit> editor;
    if (Colored) {
        auto memo = std::make_unique<tarn::TColorMemo>();
        memo->SetColorRules(tarn::ScriptColorRules(tarn::ScriptKeywords));
        editor = std::move(memo);
    } else {
        editor = std::make_unique<QPlainTextEdit>();
    }
    editor->setLineWrapMode(QPlainTextEdit::NoWrap);
    editor->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    editor->resize(900, 700);
    editor->viewport()->installEventFilter(&Counter);
    editor->show();
    if (!QTest::qWaitForWindowExposed(editor.get()))
        std::fprintf(stderr, "warning: the editor was not shown\n");
    return editor;
}

void Settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

// File, Open of the script in a shown player window, until its script view is painted.
TTime OpenInPlayer(const QString &Path)
{
    tarn::TPlayerWindow window{tarn::TPlayerCommandLine{}};
    window.ChooseScriptFile = [&] { return Path; };
    window.resize(900, 700);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        std::fprintf(stderr, "warning: the player window was not shown\n");
    Settle();
    return Measure([&] {
        window.FileOpenItemClick();
        Settle();
    });
}

// Answers the client's Open Script with one file.
struct TOpenAnswer : tarn::TUserDialogs
{
    std::string Path;
    void Information(const std::string &) override {}
    void Error(const std::string &Text) override { std::fprintf(stderr, "%s\n", Text.c_str()); }
    bool Confirm(const std::string &) override { return false; }
    tarn::TCertificateAnswer CertificateQuestion(const std::string &) override
    {
        return tarn::caCancel;
    }
    std::optional<std::string> InputQuery(const std::string &, const std::string &,
                                          const std::string &) override
    {
        return std::nullopt;
    }
    std::optional<std::string> OpenFileName(const TFileRequest &) override { return Path; }
    std::optional<std::string> SaveFileName(const TFileRequest &) override { return {}; }
    std::optional<std::string> DirectoryName(const std::string &, const std::string &) override
    {
        return {};
    }
    std::optional<std::string> ColorName(const std::string &, const std::string &) override
    {
        return {};
    }
};

double Median(std::vector<double> Values)
{
    std::sort(Values.begin(), Values.end());
    return Values[Values.size() / 2];
}

// Types Count characters into a new line after Line, each until coloured and painted,
// alternating between completing a keyword and breaking it again.
std::vector<TTime> Type(QPlainTextEdit &Editor, TPaintCounter &Counter, int Line, int Count)
{
    QTextCursor cursor(Editor.document()->findBlockByNumber(Line));
    cursor.movePosition(QTextCursor::EndOfBlock);
    Editor.setTextCursor(cursor);
    QTest::keyClick(&Editor, Qt::Key_Return);
    QTest::keyClicks(&Editor, "SEN");
    Settle();
    std::vector<TTime> times;
    for (int i = 0; i < Count; ++i) {
        const int paints = Counter.Paints;
        times.push_back(Measure([&] {
            QTest::keyClick(&Editor, i % 2 == 0 ? Qt::Key_D : Qt::Key_Backspace);
            Settle();
        }));
        if (Counter.Paints == paints)
            std::fprintf(stderr, "warning: a keystroke was not painted\n");
    }
    return times;
}

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const QString script = MakeScript();
    std::printf("%d lines, %lld characters; %d rounds; load before: %s\n", Lines,
                static_cast<long long>(script.size()), rounds, qPrintable(LoadAverage()));

    const char *names[] = {"QPlainTextEdit", "TColorMemo"};
    // Per editor: opening, and every keystroke of all rounds.
    std::vector<TTime> open[2];
    std::vector<TTime> keys[2];
    std::vector<TTime> player;
    std::vector<TTime> client, clientKeys;
    QTemporaryDir folder;
    const QString path = folder.filePath("long.tns");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(script.toLocal8Bit()) < 0)
        return 1;
    file.close();
    for (int round = 0; round < rounds; ++round) {
        player.push_back(OpenInPlayer(path));
        {
            // The client's Script page: Scripts, Open Script, until painted; then typing.
            TOpenAnswer answer;
            answer.Path = path.toStdString();
            tarn::TTarnMainWindow window(&answer);
            window.Logic().FormCreate({});
            window.resize(900, 700);
            window.show();
            if (!QTest::qWaitForWindowExposed(&window))
                std::fprintf(stderr, "warning: the client window was not shown\n");
            auto *editor = window.findChild<QPlainTextEdit *>("Script");
            window.findChild<QTabWidget *>("PageControl")->setCurrentIndex(2);
            TPaintCounter counter;
            editor->viewport()->installEventFilter(&counter);
            Settle();
            client.push_back(Measure([&] {
                window.Logic().OpenButtonClick();
                Settle();
            }));
            if (counter.Paints == 0)
                std::fprintf(stderr, "warning: the client's script was not painted\n");
            for (const TTime &t : Type(*editor, counter, 10, 50))
                clientKeys.push_back(t);
        }
        for (int colored = 0; colored < 2; ++colored) {
            TPaintCounter counter;
            auto editor = MakeEditor(colored, counter);
            const int paints = counter.Paints;
            open[colored].push_back(Measure([&] {
                editor->setPlainText(script);
                Settle();
            }));
            if (counter.Paints == paints)
                std::fprintf(stderr, "warning: opening was not painted\n");
            // In a line near the top, then at the end of the script.
            for (const TTime &t : Type(*editor, counter, 10, 50))
                keys[colored].push_back(t);
            editor->moveCursor(QTextCursor::End);
            Settle();
            for (const TTime &t : Type(*editor, counter, editor->document()->blockCount() - 1, 50))
                keys[colored].push_back(t);
        }
    }

    const auto column = [](const std::vector<TTime> &Times, double TTime::*Field) {
        std::vector<double> values;
        for (const TTime &t : Times)
            values.push_back(t.*Field);
        std::sort(values.begin(), values.end());
        return values;
    };
    std::printf("%-16s %10s %10s %10s %10s %10s %10s\n", "editor (ms)", "open", "open cpu", "key",
                "key cpu", "key p99", "key max");
    for (int colored = 0; colored < 2; ++colored) {
        const std::vector<double> keyWall = column(keys[colored], &TTime::Wall);
        std::printf("%-16s %10.1f %10.1f %10.3f %10.3f %10.3f %10.3f\n", names[colored],
                    Median(column(open[colored], &TTime::Wall)),
                    Median(column(open[colored], &TTime::Cpu)), Median(keyWall),
                    Median(column(keys[colored], &TTime::Cpu)), keyWall[keyWall.size() * 99 / 100],
                    keyWall.back());
    }
    std::printf("%-16s %10.1f %10.1f\n", "player, File Open", Median(column(player, &TTime::Wall)),
                Median(column(player, &TTime::Cpu)));
    const std::vector<double> clientKeyWall = column(clientKeys, &TTime::Wall);
    std::printf("%-16s %10.1f %10.1f %10.3f %10.3f %10.3f %10.3f\n", "client, Script",
                Median(column(client, &TTime::Wall)), Median(column(client, &TTime::Cpu)),
                Median(clientKeyWall), Median(column(clientKeys, &TTime::Cpu)),
                clientKeyWall[clientKeyWall.size() * 99 / 100], clientKeyWall.back());
    std::printf("open: median of %d rounds; key: median, 99th percentile and slowest of %zu "
                "keystrokes\n",
                rounds, keys[0].size());
    std::printf("load after: %s\n", qPrintable(LoadAverage()));
    return 0;
}
