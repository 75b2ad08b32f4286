#pragma once

// The Tarn Script Player window: the script (its keywords in blue), the run log, the status line,
// the tool buttons and the menus around one TTarnPlayer. Controls carry the object names the rest
// of Tarn and the tests know them by (Script, ScriptLog, StatusLine, ExecuteButton, StopButton,
// SpeedButton1, SpeedButton2, FileOpenItem, Play1, Stop1, FileExitItem, HelpContentsItem,
// HelpAboutItem).
//
// The menu items Play and Stop act like the tool buttons; Open is unavailable while a run is
// executing; closing the window during a run stops the run before its next line and closes
// when the run has ended.

#include "player/command_line.h"
#include "player/player_view.h"
#include "player/tarn_player.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <functional>

class QAction;
class QLabel;
class QPlainTextEdit;
class QToolButton;

namespace tarn {

class TColorMemo;
class THelpWindow;

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
};

} // namespace tarn
