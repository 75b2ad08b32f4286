#pragma once

// The Tarn Script Player window: the script, the run log, the status line, the tool buttons and
// the menus around one TTarnPlayer. Controls carry the object names the rest of Tarn and the
// tests know them by (Script, ScriptLog, StatusLine, ExecuteButton, StopButton, SpeedButton1,
// SpeedButton2, FileOpenItem, Play1, Stop1, FileExitItem, HelpContentsItem, HelpAboutItem).
//
// Choices where the Windows program left things open: the menu items Play and Stop act like the
// tool buttons; Open is unavailable while a run is executing; closing the window during a run
// stops the run before its next line and closes when the run has ended.

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

class HelpWindow;

class PlayerWindow : public QMainWindow, public PlayerView
{
    Q_OBJECT
public:
    explicit PlayerWindow(PlayerCommandLine commandLine, QWidget *parent = nullptr);
    ~PlayerWindow() override;

    TTarnPlayer &Player() { return m_Player; }

    // Seams for questions and messages, so that tests can answer them without a person.
    // ChooseScriptFile returns the chosen file or an empty text for Cancel.
    std::function<QString()> ChooseScriptFile;
    std::function<void(const QString &message)> ShowErrorBox;

    // User operations.
    void ExecuteButtonClick();
    void StopButtonClick();
    void FileOpenItemClick();
    void HelpContentsItemClick();
    void HelpAboutItemClick();

    // PlayerView
    void LogLineAppended(const std::string &line) override;
    void LogCleared() override;
    void StatusChanged(const std::string &text) override;
    void ScriptChanged() override;
    void RunningChanged(bool running) override;
    void CloseRequested() override;
    void BetweenLines() override;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void StartUp();
    void SetOpenAvailable(bool available);
    void CloseIfAsked();
    void FlushLog();

    QPlainTextEdit *Script;
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

    TTarnPlayer m_Player;
    PlayerCommandLine m_CommandLine;
    QPointer<HelpWindow> m_Help;
    QElapsedTimer m_SinceEvents;
    QStringList m_PendingLog;
    bool m_FlushQueued = false;
    bool m_Started = false;
    bool m_CloseAfterRun = false;
};

} // namespace tarn
