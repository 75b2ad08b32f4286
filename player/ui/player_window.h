#pragma once

// The Tarn Script Player window: the script (its keywords in blue), the run log, the status line,
// the tool buttons and the menus around one TTarnPlayer. Controls carry the object names the rest
// of Tarn and the tests know them by (Script, ScriptLog, StatusLine, ExecuteButton, StopButton,
// SpeedButton1, SpeedButton2, FileOpenItem, Play1, Stop1, FileExitItem, HelpContentsItem,
// HelpAboutItem).
//
// The menu items Play and Stop act like the tool buttons; Open is unavailable while a run is
// executing; closing the window during a run stops the run before its next line and closes
// when the run has ended. Errors at start-up (a script that cannot be loaded, an error escaping
// the run of "/R") are shown in an error box and on standard error. The window's caption names
// the loaded script; Ctrl+O opens, Ctrl+Q quits and F1 shows the help.

#include "player/command_line.h"
#include "player/player_view.h"
#include "player/tarn_player.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <exception>
#include <functional>
#include <vector>

class QAction;
class QLabel;
class QPlainTextEdit;
class QToolButton;

namespace tarn {

class TColorMemo;
class THelpWindow;
struct THelpPage;

// The player's help pages (built in under ":/help/"), in the order of the contents.
std::vector<THelpPage> PlayerHelpPages();

class TPlayerWindow : public QMainWindow, public TPlayerView
{
    Q_OBJECT
public:
    explicit TPlayerWindow(TPlayerCommandLine CommandLine, QWidget *Parent = nullptr);
    ~TPlayerWindow() override;

    TTarnPlayer &Player() { return FPlayer; }

    // Seams for questions and messages, so that tests can answer them without a person.
    // ChooseScriptFile returns the chosen file or an empty text for Cancel.
    std::function<QString()> ChooseScriptFile;
    std::function<void(const QString &Message)> ShowErrorBox;

    // User operations.
    void ExecuteButtonClick();
    void StopButtonClick();
    void FileOpenItemClick();
    void HelpContentsItemClick();
    void HelpAboutItemClick();

    // SIGINT or SIGTERM: a run in progress ends as the player's Interrupt says and the window
    // then closes; without a run the program ends at once.
    void Interrupt(int Signal);
    // What the program's exit status should be: the status of the last run (see
    // TTarnPlayer::ExitStatus), 2 after an error at start-up or one that escaped a run, 128 + a
    // signal that ended the program; 0 before any run.
    int ExitStatus() const { return FExitStatus; }

    // TPlayerView
    void LogLineAppended(const std::string &Line) override;
    void LogCleared() override;
    void StatusChanged(const std::string &Text) override;
    void ScriptChanged() override;
    void RunningChanged(bool Running) override;
    void CloseRequested() override;
    void BetweenLines() override;

protected:
    void showEvent(QShowEvent *Event) override;
    void closeEvent(QCloseEvent *Event) override;

private:
    void StartUp();
    void ReportError(const std::exception &Error);
    void SetOpenAvailable(bool Available);
    void CloseIfAsked();
    void FlushLog();

    TColorMemo *Script;
    QPlainTextEdit *ScriptLog;
    QLabel *StatusLine;
    QToolButton *ExecuteButton;
    QToolButton *StopButton;
    QToolButton *SpeedButton1;
    QToolButton *SpeedButton2;
    QAction *FileOpenItem;
    QAction *Play1;
    QAction *Stop1;
    QAction *FileExitItem;
    QAction *HelpContentsItem;
    QAction *HelpAboutItem;

    TTarnPlayer FPlayer;
    TPlayerCommandLine FCommandLine;
    QPointer<THelpWindow> FHelp;
    QElapsedTimer FSinceEvents;
    QStringList FPendingLog;
    bool FFlushQueued = false;
    bool FStarted = false;
    bool FCloseAfterRun = false;
    int FExitStatus = 0;
};

} // namespace tarn
