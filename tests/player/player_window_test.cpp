#include "player/ui/player_window.h"
#include "support/ui/help_window.h"
#include "tests/common/colored_ranges.h"
#include "tests/player/temp_folder.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>
#include <QToolButton>
#include <csignal>
#include <gtest/gtest.h>

namespace tarn {
namespace {

class PlayerWindowTest : public test::TempFolderTest
{
protected:
    template <typename T> T *Child(TPlayerWindow &Window, const char *Name)
    {
        T *child = Window.findChild<T *>(Name);
        EXPECT_NE(child, nullptr) << Name;
        return child;
    }
    bool Enabled(TPlayerWindow &Window, const char *Button, const char *Item)
    {
        const bool buttonEnabled = Child<QToolButton>(Window, Button)->isEnabled();
        EXPECT_EQ(buttonEnabled, Child<QAction>(Window, Item)->isEnabled()) << Button;
        return buttonEnabled;
    }
    // Shows the window and lets its start-up run.
    void Start(TPlayerWindow &Window)
    {
        Window.show();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    static TPlayerCommandLine Line(const std::vector<std::string> &Positional)
    {
        TPlayerCommandLine line;
        line.Positional = Positional;
        return line;
    }
};

TEST_F(PlayerWindowTest, ControlsCaptionHintsAndStartState)
{
    TPlayerWindow window(Line({}));
    EXPECT_EQ(window.windowTitle(), "Tarn Script Player");
    const struct
    {
        const char *Name, *Text, *Hint;
    } buttons[] = {{"ExecuteButton", "Play", "Play Script"},
                   {"StopButton", "Stop", "Stop Script"},
                   {"SpeedButton1", "Open", "Open Script"},
                   {"SpeedButton2", "Exit", "Exit Script Player"}};
    for (const auto &b : buttons) {
        QToolButton *button = Child<QToolButton>(window, b.Name);
        EXPECT_EQ(button->text(), b.Text);
        EXPECT_EQ(button->toolTip(), b.Hint);
    }
    for (const char *item :
         {"FileOpenItem", "Play1", "Stop1", "FileExitItem", "HelpContentsItem", "HelpAboutItem"})
        Child<QAction>(window, item);
    EXPECT_TRUE(Child<QPlainTextEdit>(window, "Script")->isReadOnly());
    EXPECT_TRUE(Child<QPlainTextEdit>(window, "ScriptLog")->isReadOnly());
    // What the views ask for, whatever fonts this machine has.
    for (const char *view : {"Script", "ScriptLog"}) {
        EXPECT_TRUE(Child<QPlainTextEdit>(window, view)->font().fixedPitch()) << view;
        EXPECT_EQ(Child<QPlainTextEdit>(window, view)->font().styleHint(), QFont::TypeWriter);
    }
    // The standard keys, and the caption that names the script once one is loaded.
    EXPECT_EQ(Child<QAction>(window, "FileOpenItem")->shortcut(), QKeySequence("Ctrl+O"));
    EXPECT_EQ(Child<QAction>(window, "FileExitItem")->shortcut(), QKeySequence("Ctrl+Q"));
    EXPECT_EQ(Child<QAction>(window, "HelpContentsItem")->shortcut(), QKeySequence("F1"));
    Write("nightly.tns", "ONERROR STOP\n");
    window.Player().LoadScript(PathOf("nightly.tns"));
    EXPECT_EQ(window.windowTitle(), "nightly.tns - Tarn Script Player");
    window.Player().SetScriptText("");
    EXPECT_EQ(window.windowTitle(), "Tarn Script Player");
    EXPECT_FALSE(Enabled(window, "ExecuteButton", "Play1")); // disabled until start-up
    Start(window);
    EXPECT_TRUE(Enabled(window, "ExecuteButton", "Play1")); // Play enabled, even without a script
    EXPECT_FALSE(Enabled(window, "StopButton", "Stop1"));
    EXPECT_TRUE(window.isVisible());
    window.Player().SetStatusText("1024");
    EXPECT_EQ(Child<QLabel>(window, "StatusLine")->text(), "1024");
}

TEST_F(PlayerWindowTest, StartedWithRunAndExitSwitchesRunsAndCloses)
{
    Write("s.tns", "ONERROR STOP\r\nLOCALMD made\r\n");
    TPlayerWindow window(Line({"s.tns", "/R", "/X", "/D"}));
    Start(window);
    EXPECT_TRUE(Exists("made"));
    EXPECT_FALSE(Exists("s.tns"));
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(Child<QPlainTextEdit>(window, "ScriptLog")->toPlainText(),
              "Error action set to STOP.");
    EXPECT_EQ(Child<QPlainTextEdit>(window, "Script")->toPlainText(),
              "ONERROR STOP\nLOCALMD made\n");
}

TEST_F(PlayerWindowTest, PlayStopAndExitDuringARun)
{
    TPlayerWindow window(Line({}));
    Start(window);
    std::vector<std::pair<bool, bool>> looks; // Play and Stop enabled, seen from inside the run
    window.Player().AddOperation("PROFILE", [&](const std::string &Argument) {
        looks.emplace_back(Enabled(window, "ExecuteButton", "Play1"),
                           Enabled(window, "StopButton", "Stop1"));
        EXPECT_FALSE(Child<QToolButton>(window, "SpeedButton1")->isEnabled());
        if (Argument == "stop")
            Child<QToolButton>(window, "StopButton")->click();
        if (Argument == "exit")
            Child<QToolButton>(window, "SpeedButton2")->click();
        // A second Play while running does nothing.
        Child<QAction>(window, "Play1")->trigger();
    });
    window.Player().SetScriptText("PROFILE a\r\nPROFILE stop\r\nPROFILE never\r\n");
    Child<QToolButton>(window, "ExecuteButton")->click();
    EXPECT_EQ(looks.size(), 2u);
    for (const auto &look : looks)
        EXPECT_EQ(look, std::make_pair(false, true));
    EXPECT_EQ(Child<QPlainTextEdit>(window, "ScriptLog")->toPlainText(), "Script stopped by user.");
    EXPECT_TRUE(Enabled(window, "ExecuteButton", "Play1"));
    EXPECT_FALSE(Enabled(window, "StopButton", "Stop1"));
    EXPECT_TRUE(Child<QToolButton>(window, "SpeedButton1")->isEnabled());

    // Exit during a run: the run ends before its next line, then the window closes.
    looks.clear();
    window.Player().SetScriptText("PROFILE exit\r\nPROFILE never\r\n");
    Child<QAction>(window, "Play1")->trigger();
    EXPECT_EQ(looks.size(), 1u);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(PlayerWindowTest, EscapedErrorShowsABoxAndKeepsTheRunningLookUntilOpen)
{
    TPlayerWindow window(Line({}));
    QStringList boxes;
    window.ShowErrorBox = [&](const QString &Message) { boxes << Message; };
    QString chosen;
    window.ChooseScriptFile = [&] { return chosen; };
    Start(window);
    window.Player().SetScriptText("SAVELOG no/such/folder.log\r\nEXIT\r\n");
    Child<QToolButton>(window, "ExecuteButton")->click();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].contains("no/such/folder.log"));
    EXPECT_FALSE(Enabled(window, "ExecuteButton", "Play1"));
    EXPECT_TRUE(window.isVisible());

    // Cancel changes nothing; a file that cannot be read gives a box and changes nothing.
    Child<QToolButton>(window, "SpeedButton1")->click();
    chosen = QString::fromStdString(PathOf("missing.tns"));
    Child<QAction>(window, "FileOpenItem")->trigger();
    EXPECT_EQ(boxes.size(), 2);
    EXPECT_FALSE(Enabled(window, "ExecuteButton", "Play1"));
    EXPECT_EQ(window.Player().Script().size(), 2u);

    Write("good.tns", "ONERROR\n");
    chosen = QString::fromStdString(PathOf("good.tns"));
    Child<QToolButton>(window, "SpeedButton1")->click();
    EXPECT_TRUE(Enabled(window, "ExecuteButton", "Play1"));
    EXPECT_EQ(Child<QPlainTextEdit>(window, "Script")->toPlainText(), "ONERROR\n");
    Child<QToolButton>(window, "ExecuteButton")->click();
    // The log was kept across the open; it says why the first run ended.
    EXPECT_EQ(window.Player().Log(),
              (std::vector<std::string>{
                  "! Cannot create file \"no/such/folder.log\". No such file or directory",
                  "Error action set to CONTINUE."}));
}

TEST_F(PlayerWindowTest, StartUpErrorsAreShownAndASlashXRunEndsWithTheirStatus)
{
    // Without "/X" a script that cannot be loaded leaves the window open and idle, and says so.
    QStringList boxes;
    TPlayerWindow idle(Line({"missing.tns", "/R"}));
    idle.ShowErrorBox = [&](const QString &Message) { boxes << Message; };
    Start(idle);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].contains("missing.tns")) << boxes[0].toStdString();
    EXPECT_TRUE(idle.isVisible());
    EXPECT_TRUE(Enabled(idle, "ExecuteButton", "Play1"));
    EXPECT_EQ(Child<QPlainTextEdit>(idle, "Script")->toPlainText(), "");

    // With "/X" the window closes after the box, and the program's status is 2: for a script
    // that cannot be loaded, and for a LOGFILE that cannot be written under "/R /X".
    Write("bad-log.tns", "LOGFILE no/such/folder/run.log\r\nONERROR STOP\r\n");
    for (const char *script : {"missing.tns", "bad-log.tns"}) {
        boxes.clear();
        TPlayerWindow window(Line({script, "/R", "/X"}));
        window.ShowErrorBox = [&](const QString &Message) { boxes << Message; };
        Start(window);
        EXPECT_EQ(boxes.size(), 1) << script;
        EXPECT_FALSE(window.isVisible()) << script;
        EXPECT_EQ(window.ExitStatus(), 2) << script;
    }
    EXPECT_TRUE(boxes[0].contains("no/such/folder/run.log")) << boxes[0].toStdString();

    // A "/R /X" run that a failure stops ends with 1, one that succeeds with 0.
    Write("fails.tns", "ONERROR STOP\r\nLOCALDEL missing\r\n");
    Write("works.tns", "ONERROR STOP\r\n");
    for (const auto &[script, status] : {std::pair{"fails.tns", 1}, std::pair{"works.tns", 0}}) {
        TPlayerWindow window(Line({script, "/R", "/X"}));
        Start(window);
        EXPECT_FALSE(window.isVisible()) << script;
        EXPECT_EQ(window.ExitStatus(), status) << script;
    }
}

TEST_F(PlayerWindowTest, ASignalEndsTheRunThenTheWindowWithItsStatus)
{
    TPlayerWindow window(Line({}));
    Start(window);
    window.Player().AddOperation("PROFILE",
                                 [&](const std::string &) { window.Interrupt(SIGTERM); });
    window.Player().SetScriptText("LOGFILE run.log\r\nPROFILE x\r\nLOCALMD never\r\n");
    Child<QToolButton>(window, "ExecuteButton")->click();
    EXPECT_FALSE(Exists("never"));
    EXPECT_EQ(Read("run.log"), "Script stopped by SIGTERM.\r\n");
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.ExitStatus(), 143);

    // Without a run the window closes at once.
    TPlayerWindow idle(Line({}));
    Start(idle);
    idle.Interrupt(SIGINT);
    EXPECT_FALSE(idle.isVisible());
    EXPECT_EQ(idle.ExitStatus(), 130);
}

TEST_F(PlayerWindowTest, ScriptViewShowsKeywordsInBlue)
{
    Write("colours.tns", "send \"a.txt\" \"A.FILE\"\r\nHangUp\r\nresend the report\r\n");
    TPlayerWindow window(Line({"colours.tns"}));
    Start(window);
    QCoreApplication::processEvents();
    const QPlainTextEdit *script = Child<QPlainTextEdit>(window, "Script");
    EXPECT_EQ(script->accessibleName(), "Script");
    const auto blue = [&](int Line) { return ColoredRanges(*script, Line, Qt::blue); };
    EXPECT_EQ(blue(0), (std::vector<std::pair<int, int>>{{0, 4}}));
    EXPECT_EQ(blue(1), (std::vector<std::pair<int, int>>{{0, 6}}));
    EXPECT_EQ(blue(2), (std::vector<std::pair<int, int>>{}));
}

TEST_F(PlayerWindowTest, ClearLogEmptiesTheView)
{
    TPlayerWindow window(Line({}));
    Start(window);
    window.Player().SetScriptText("ONERROR\r\nCLEARLOG\r\nONERROR STOP\r\n");
    Child<QToolButton>(window, "ExecuteButton")->click();
    EXPECT_EQ(Child<QPlainTextEdit>(window, "ScriptLog")->toPlainText(),
              "Error action set to STOP.");
}

TEST(HelpWindowTest, PagesAreBuiltInAndSearchable)
{
    THelpWindow help("Tarn Script Player Help", PlayerHelpPages());
    EXPECT_EQ(help.ListedPages().size(), 6);
    help.Search("localrd");
    EXPECT_EQ(help.ListedPages(), (QStringList{"local-commands.html"}));
    help.Search("namefmt");
    EXPECT_EQ(help.ListedPages(), (QStringList{"remote-commands.html"}));
    help.Search("case-sensitive");
    EXPECT_EQ(help.ListedPages(), (QStringList{"command-line.html"}));
    help.Search("no such words anywhere");
    EXPECT_TRUE(help.ListedPages().isEmpty());
    help.Search("");
    EXPECT_EQ(help.ListedPages().size(), 6);
}

} // namespace
} // namespace tarn
