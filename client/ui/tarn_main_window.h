#pragma once

#include "client/tarn_main.h"
#include "support/ui/file_drag.h"
#include "support/ui/widget_dialogs.h"

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <memory>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QStackedWidget;
class QTabWidget;
class QToolBar;
class QToolButton;
class QTreeView;

namespace tarn {

class TAnimation;
class THelpWindow;

// The main window of the interactive client ("Tarn Client"): a thin view over TTarnMain, which
// holds every decision. The window builds the controls, passes the user's actions to the
// logic and mirrors what the logic shows.
//
// Every control carries its name as object name and accessible name (LoginButton, DirView,
// Log, StatusLine, Login1, ...), so that screen readers, automation and tests find it.
//
// The window opens with a client area of 611 x 363 at 96 dots per inch, scaled to the screen,
// and may grow but not shrink below that; the list views and the log take the extra room.
// Message boxes and file pickers go through the TUserDialogs given (by default Qt's).
class TTarnMainWindow : public QMainWindow, public TClientView
{
public:
    explicit TTarnMainWindow(TUserDialogs *Dialogs = nullptr,
                             std::unique_ptr<TDialUpBackend> DialUpBackend = CreateDialUpBackend(),
                             QWidget *Parent = nullptr);
    ~TTarnMainWindow() override;

    TTarnMain &Logic() { return *FLogic; }

    // The client area the window opens with, in pixels at this screen's resolution.
    QSize DesignedClientSize() const;

    // TClientView
    void ControlEnabled(TClientControl Control, bool Enabled) override;
    void ControlShown(TClientControl Control, bool Shown) override;
    void CaptionChanged(const std::string &Caption) override;
    void PanelChanged(int Panel, const std::string &Text) override;
    void PageShown(TClientPage Page) override;
    void CursorChanged(bool Busy) override;
    void AnimationChanged(TAnimationClip Clip) override;
    void ProgressChanged(const TProgress &Progress) override;
    void FieldChanged(TClientField Field, const std::string &Text) override;
    void CommandBoxChanged(const std::vector<std::string> &Items, const std::string &Text) override;
    void CommandBoxFocused() override;
    void LogAppended(const std::string &Line) override;
    void LogCleared() override;
    void ScriptCleared() override;
    void ScriptLineAppended(const std::string &Line) override;
    void TransferTypeShown(bool Binary) override;
    void Repaint() override;
    void CloseWindow() override;
    std::optional<TLoginChoice> RunLoginDialog(const TLoginRequest &Request) override;
    void RunLibraryListDialog(const std::string &FileName) override;

    // Help menu.
    void HelpContents();
    void HelpSearch();
    void HelpHowToUse();
    void HelpAbout();

protected:
    void closeEvent(QCloseEvent *Event) override;
    bool eventFilter(QObject *Watched, QEvent *Event) override;

private:
    // One list view: a report (the tree) and the three icon styles (the list) over the same
    // entries and selection, one of them showing at a time.
    struct TListPanel
    {
        QStackedWidget *Stack = nullptr;
        QTreeView *Report = nullptr;
        QListView *Icons = nullptr;
        QMenu *Menu = nullptr;
        std::array<QAction *, 4> Styles{};  // large icons, small icons, list, report
        std::array<QAction *, 2> Actions{}; // the two operations on the view's entries
    };
    // A pop-up menu item: its object name and its text.
    struct TItemName
    {
        const char *Name, *Text;
    };

    void CreateMenus();
    void CreateToolBar();
    void CreatePages();
    void CreateBottom();
    void CreateStatusLine();
    void NameControls();
    void ConnectActions();
    TListPanel CreateListPanel(TListView &List, const char *Name, bool MultiSelect,
                               const char *StyleSuffix,
                               const std::array<const char *, 4> &StyleTexts,
                               const std::array<TItemName, 2> &ActionItems);
    void SetListStyle(TListPanel &Panel, int Style);
    void ShowSortColumn(const TListPanel &Panel, const TListView &List);
    void EnableMenu(QMenu *Menu, bool Enabled);
    void ShowHelp(const QString &Page);
    void CreateLogMenu();
    // Runs a handler of the logic from the event loop, after the event that asked for it.
    void Later(void (TTarnMain::*Handler)());

    std::unique_ptr<TWidgetDialogs> FOwnDialogs;
    TUserDialogs &FDialogs;
    std::unique_ptr<TTarnMain> FLogic;
    std::unique_ptr<TFileDrag> FileDrag1;
    QPointer<THelpWindow> FHelp;

    // Tool bar and pages.
    QToolBar *ToolBar1;
    QToolButton *ExitButton, *LoginButton, *LogoutButton, *LibraryButton, *CDUPButton,
        *NewDirButton, *DeleteButton, *RenameButton, *Send, *Receive, *AbortButton, *AButton,
        *BButton;
    TAnimation *Animate1;
    QTabWidget *PageControl;
    QWidget *FTPSheet, *LogPage, *ScriptPage;
    QLineEdit *AS400File;
    QLineEdit *PCFile;
    QToolButton *PCFileButton;
    TListPanel DirView;
    TListPanel FileView;
    QPlainTextEdit *Log;
    QPlainTextEdit *Script;
    QToolButton *OpenButton, *SaveButton, *ClearButton, *RecordButton, *StopButton, *PlayButton;
    QComboBox *CommandEdit;
    QToolButton *EXButton;
    QProgressBar *TransferProgress;
    QWidget *StatusLine;
    std::array<QLabel *, 5> Panels{};

    // Menus.
    QMenu *File1, *Settings1, *Operations1, *Scripts1, *Help1;
    QAction *Login1, *AbortTransfer1, *ClearLog1, *SaveLog1, *Exit1;
    QAction *Ascii1, *Binary1, *ViewToolbar1, *ViewLog1, *LibraryList1, *Preferences1;
    QAction *Disconnect1, *ChangeDirectory1, *ParentDirectory1, *CreateDirectory1,
        *DeleteDirectory1, *ReceiveFile1, *SendFile1, *DeleteFile1, *RenameFile1;
    QAction *ClearScriptWindow1, *OpenScript1, *SaveScript1, *RecordScript1, *StopRecording1;
    QAction *Contents1, *SearchforHelpOn1, *HowtoUseHelp1, *About1;
    QMenu *LogMenu; // on the log and on the page tabs

    std::array<QObject *, ccControlCount> FControls{};
};

} // namespace tarn
