// The main window as the logic's view: user actions go to TTarnMain, what it shows comes back
// through TClientView. Also the window's own events, the dialogs and the help.

#include "client/ui/about_box.h"
#include "client/ui/animation.h"
#include "client/ui/lib_list_dlg.h"
#include "client/ui/tarn_main_window.h"
#include "profile/ui/login_dlg.h"
#include "support/ui/help_window.h"
#include "support/ui/local_text.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <climits>

namespace tarn {

namespace {

const std::vector<THelpPage> HelpPages = {
    {"index.html", "Contents"},
    {"connecting.html", "Connecting"},
    {"browsing.html", "Browsing the server"},
    {"libraries.html", "IBM i libraries"},
    {"transfers.html", "Moving files"},
    {"operations.html", "Folders, files, commands and the log"},
    {"window.html", "The window, menus and keys"},
    {"help.html", "How to use help"},
};

} // namespace

void TTarnMainWindow::ConnectActions()
{
    TTarnMain &logic = *FLogic;
    const auto onClick = [this](QToolButton *Button, QAction *Item, auto Handler) {
        if (Button)
            connect(Button, &QToolButton::clicked, this, Handler);
        if (Item)
            connect(Item, &QAction::triggered, this, Handler);
    };
    onClick(ExitButton, Exit1, [&logic] { logic.FileExit(); });
    onClick(LoginButton, Login1, [&logic] { logic.LoginButtonClick(); });
    onClick(LogoutButton, Disconnect1, [&logic] { logic.LogoutButtonClick(); });
    onClick(AbortButton, AbortTransfer1, [&logic] { logic.AbortButtonClick(); });
    onClick(AButton, Ascii1, [&logic] { logic.Ascii1Click(); });
    onClick(BButton, Binary1, [&logic] { logic.Binary1Click(); });
    onClick(LibraryButton, ChangeDirectory1, [&logic] { logic.LibraryButtonClick(); });
    onClick(CDUPButton, ParentDirectory1, [&logic] { logic.CDUpButtonClick(); });
    onClick(NewDirButton, CreateDirectory1, [&logic] { logic.CreateDirectory1Click(); });
    onClick(DeleteButton, nullptr, [&logic] { logic.DeleteButtonClick(); });
    onClick(nullptr, DeleteDirectory1, [&logic] { logic.DeleteDirectory1Click(); });
    onClick(nullptr, DeleteFile1, [&logic] { logic.DeleteFile1Click(); });
    onClick(RenameButton, RenameFile1, [&logic] { logic.RenameButtonClick(); });
    onClick(Send, SendFile1, [&logic] { logic.SendClick(); });
    onClick(Receive, ReceiveFile1, [&logic] { logic.ReceiveClick(); });
    onClick(EXButton, nullptr, [&logic] { logic.ExButtonClick(); });
    onClick(nullptr, ClearLog1, [&logic] { logic.ClearLog1Click(); });
    onClick(nullptr, SaveLog1, [&logic] { logic.SaveLog1Click(); });
    onClick(nullptr, LibraryList1, [&logic] { logic.LibraryList1Click(); });
    onClick(nullptr, Contents1, [this] { HelpContents(); });
    onClick(nullptr, SearchforHelpOn1, [this] { HelpSearch(); });
    onClick(nullptr, HowtoUseHelp1, [this] { HelpHowToUse(); });
    onClick(nullptr, About1, [this] { HelpAbout(); });
    connect(ViewToolbar1, &QAction::toggled, ToolBar1, &QWidget::setVisible);
    connect(ViewLog1, &QAction::toggled, Log, &QWidget::setVisible);

    // Every change of the text, typed or set by assistive technology, is the field's value:
    // what Send and Receive use is always what the window shows.
    connect(AS400File, &QLineEdit::textChanged, this,
            [&logic](const QString &Text) { logic.SetField(cfAS400File, ToLocal(Text)); });
    connect(PCFile, &QLineEdit::textChanged, this,
            [&logic](const QString &Text) { logic.SetField(cfPCFile, ToLocal(Text)); });
    logic.SetField(cfPCFile, ToLocal(PCFile->text()));
    connect(PCFileButton, &QToolButton::clicked, this, [this, &logic] {
        const std::optional<std::string> chosen =
            FDialogs.OpenFileName({"Local File", "All files|*.*", "", logic.Field(cfPCFile)});
        if (chosen)
            logic.SetField(cfPCFile, *chosen);
    });
    PCFile->installEventFilter(this);

    // The command box: what is typed or picked is the command; Enter executes it.
    connect(CommandEdit, &QComboBox::editTextChanged, this,
            [&logic](const QString &Text) { logic.SetCommandText(ToLocal(Text)); });
    connect(CommandEdit->lineEdit(), &QLineEdit::returnPressed, this,
            [this] { Later(&TTarnMain::ExButtonClick); });

    // Files dropped from the desktop are sent once the drop itself is over.
    FileDrag1->OnDrop = [this](TFileDrag *Drag) {
        std::vector<std::string> files = std::move(Drag->Files);
        Drag->Files.clear();
        Drag->FileCount = 0;
        QTimer::singleShot(0, this,
                           [this, files = std::move(files)] { FLogic->FileDrag1Drop(files); });
    };

    const auto connectList = [this](TListPanel &Panel, TListView &List, auto ColumnClick,
                                    auto DblClick) {
        connect(Panel.Report->header(), &QHeaderView::sectionClicked, this, ColumnClick);
        for (QAbstractItemView *view : {static_cast<QAbstractItemView *>(Panel.Report),
                                        static_cast<QAbstractItemView *>(Panel.Icons)}) {
            // Queued: an operation runs from the event loop, not inside the view's mouse handler
            // (it waits on the server, and it replaces the view's entries).
            connect(view, &QAbstractItemView::doubleClicked, this, DblClick, Qt::QueuedConnection);
            connect(view, &QWidget::customContextMenuRequested, this,
                    [this, &Panel, view](const QPoint &At) {
                        // The radio item of the style shown is checked; the actions are on.
                        const int style = Panel.Stack->currentWidget() == Panel.Report
                                              ? 3
                                              : Panel.Icons->property("Style").toInt();
                        Panel.Styles[std::size_t(style)]->setChecked(true);
                        // The operations only when one may start.
                        for (QAction *item : Panel.Actions)
                            item->setEnabled(FLogic->Enabled(ccOperations1));
                        Panel.Menu->popup(view->viewport()->mapToGlobal(At));
                    });
        }
        for (int style = 0; style < 4; ++style) {
            connect(Panel.Styles[std::size_t(style)], &QAction::triggered, this,
                    [this, &Panel, style] { SetListStyle(Panel, style); });
        }
        const auto showSort = [this, &Panel, &List] { ShowSortColumn(Panel, List); };
        connect(&List.Model, &QAbstractItemModel::modelReset, this, showSort);
        connect(&List.Model, &QAbstractItemModel::layoutChanged, this, showSort);
    };
    connectList(
        DirView, logic.DirView, [&logic](int Column) { logic.DirViewColumnClick(Column); },
        [&logic] { logic.DirViewDblClick(); });
    // Pop-up items run from the event loop once their menu has closed.
    const std::pair<QAction *, void (TTarnMain::*)()> popUpItems[] = {
        {DirView.Actions[0], &TTarnMain::DeleteDirectory1Click},
        {DirView.Actions[1], &TTarnMain::CreateDirectory1Click},
        {FileView.Actions[0], &TTarnMain::DeleteFile1Click},
        {FileView.Actions[1], &TTarnMain::RenameButtonClick}};
    for (const auto &[item, handler] : popUpItems)
        connect(item, &QAction::triggered, this, [this, handler = handler] { Later(handler); });
    connectList(
        FileView, logic.FileView, [&logic](int Column) { logic.FileViewColumnClick(Column); },
        [&logic] { logic.FileViewDblClick(); });
    // A single click in the file view fills the name fields as well.
    for (QAbstractItemView *view : {static_cast<QAbstractItemView *>(FileView.Report),
                                    static_cast<QAbstractItemView *>(FileView.Icons)})
        connect(view, &QAbstractItemView::clicked, this, [&logic] { logic.FileViewDblClick(); });
}

void TTarnMainWindow::SetListStyle(TListPanel &Panel, int Style)
{
    if (Style == 3) {
        Panel.Stack->setCurrentWidget(Panel.Report);
        return;
    }
    QListView *icons = Panel.Icons;
    icons->setProperty("Style", Style);
    const int small = style()->pixelMetric(QStyle::PM_SmallIconSize);
    const int large = style()->pixelMetric(QStyle::PM_LargeIconSize);
    if (Style == 0) { // large icons: a grid, names under the pictures
        icons->setViewMode(QListView::IconMode);
        icons->setIconSize({large, large});
        icons->setGridSize({large * 3, large + fontMetrics().height() * 2 + 4});
        icons->setWordWrap(true);
    } else { // small icons fill rows, the list fills columns
        icons->setViewMode(QListView::ListMode);
        icons->setIconSize({small, small});
        icons->setGridSize({});
        icons->setWordWrap(false);
        icons->setFlow(Style == 1 ? QListView::LeftToRight : QListView::TopToBottom);
        icons->setWrapping(true);
    }
    icons->setMovement(QListView::Static);
    Panel.Stack->setCurrentWidget(icons);
}

void TTarnMainWindow::ShowSortColumn(const TListPanel &Panel, const TListView &List)
{
    const auto &columns = List.Model.Columns();
    const auto found = std::find(columns.begin(), columns.end(), List.Model.SortColumn());
    QHeaderView *header = Panel.Report->header();
    if (found == columns.end())
        header->setSortIndicator(-1, Qt::AscendingOrder);
    else
        header->setSortIndicator(int(found - columns.begin()), Qt::AscendingOrder);
}

void TTarnMainWindow::EnableMenu(QMenu *Menu, bool Enabled)
{
    // A disabled menu disables its items too, so that their shortcuts do nothing either.
    Menu->menuAction()->setEnabled(Enabled);
    for (QAction *item : Menu->actions()) {
        if (item == LibraryList1)
            item->setEnabled(Enabled && FLogic->Enabled(ccLibraryList1));
        else if (!item->isSeparator())
            item->setEnabled(Enabled);
    }
}

void TTarnMainWindow::ControlEnabled(TClientControl Control, bool Enabled)
{
    switch (Control) {
    case ccSettings1:
        EnableMenu(Settings1, Enabled);
        return;
    case ccOperations1:
        EnableMenu(Operations1, Enabled);
        return;
    case ccLibraryList1:
        LibraryList1->setEnabled(Enabled && FLogic->Enabled(ccSettings1));
        return;
    case ccFileDrag1:
        FileDrag1->SetEnableDrop(Enabled);
        return;
    default:
        break;
    }
    if (auto *widget = qobject_cast<QWidget *>(FControls[Control]))
        widget->setEnabled(Enabled);
    else if (auto *item = qobject_cast<QAction *>(FControls[Control]))
        item->setEnabled(Enabled);
}

void TTarnMainWindow::ControlShown(TClientControl Control, bool Shown)
{
    if (auto *item = qobject_cast<QAction *>(FControls[Control]))
        item->setVisible(Shown);
    else if (auto *widget = qobject_cast<QWidget *>(FControls[Control]))
        widget->setVisible(Shown);
}

void TTarnMainWindow::CaptionChanged(const std::string &Caption)
{
    setWindowTitle(FromLocal(Caption));
}

void TTarnMainWindow::PanelChanged(int Panel, const std::string &Text)
{
    QLabel *panel = Panels[std::size_t(Panel)];
    panel->setText(FromLocal(Text));
    // The accessible name is the panel's name; its text reaches a screen reader as description.
    panel->setAccessibleDescription(panel->text());
}

void TTarnMainWindow::PageShown(TClientPage Page)
{
    PageControl->setCurrentIndex(int(Page));
}

void TTarnMainWindow::CursorChanged(bool Busy)
{
    if (Busy)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

void TTarnMainWindow::AnimationChanged(TAnimationClip Clip)
{
    Animate1->Play(Clip);
}

void TTarnMainWindow::ProgressChanged(const TProgress &Progress)
{
    // A bar counts in int: large byte counts are shown in steps.
    const int64_t maximum = std::max<int64_t>(Progress.Maximum, 1);
    const int64_t step = maximum / INT_MAX + 1;
    TransferProgress->setEnabled(Progress.Enabled);
    TransferProgress->setRange(0, int(maximum / step));
    TransferProgress->setValue(int(std::clamp<int64_t>(Progress.Position, 0, maximum) / step));
}

void TTarnMainWindow::FieldChanged(TClientField Field, const std::string &Text)
{
    QLineEdit *edit = Field == cfAS400File ? AS400File : PCFile;
    const QString text = FromLocal(Text);
    if (edit->text() != text)
        edit->setText(text);
}

void TTarnMainWindow::CommandBoxChanged(const std::vector<std::string> &Items,
                                        const std::string &Text)
{
    CommandEdit->clear();
    for (const std::string &item : Items)
        CommandEdit->addItem(FromLocal(item));
    CommandEdit->setEditText(FromLocal(Text));
}

void TTarnMainWindow::CommandBoxFocused()
{
    CommandEdit->setFocus();
}

void TTarnMainWindow::LogAppended(const std::string &Line)
{
    Log->appendPlainText(FromLocal(Line));
}

void TTarnMainWindow::LogCleared()
{
    Log->clear();
}

void TTarnMainWindow::ScriptCleared()
{
    Script->clear();
}

void TTarnMainWindow::ScriptLineAppended(const std::string &Line)
{
    Script->appendPlainText(FromLocal(Line));
}

void TTarnMainWindow::TransferTypeShown(bool Binary)
{
    (Binary ? Binary1 : Ascii1)->setChecked(true);
}

void TTarnMainWindow::Repaint()
{
    repaint();
}

void TTarnMainWindow::CloseWindow()
{
    // From the event loop, so that the handler that asked has returned first.
    QTimer::singleShot(0, this, [this] { close(); });
}

std::optional<TLoginChoice> TTarnMainWindow::RunLoginDialog(const TLoginRequest &Request)
{
    TLoginDlg dialog(FDialogs, this);
    dialog.SetConnections(Request.DialUpEntries);
    if (Request.StartedWithProfile)
        dialog.CommandLineProfile = Request.ProfileArgument;
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return TLoginChoice{dialog.Values(), dialog.ProfileName(), dialog.LibraryListFile};
}

void TTarnMainWindow::RunLibraryListDialog(const std::string &FileName)
{
    TLibListDlg dialog(FDialogs, this);
    dialog.LibListFile = FileName;
    dialog.exec();
}

void TTarnMainWindow::ShowHelp(const QString &Page)
{
    if (!FHelp)
        FHelp = new THelpWindow("Tarn Client Help", HelpPages);
    FHelp->ShowPage(Page);
    FHelp->show();
    FHelp->raise();
    FHelp->activateWindow();
}

void TTarnMainWindow::HelpContents()
{
    ShowHelp("index.html");
}

void TTarnMainWindow::HelpSearch()
{
    ShowHelp("index.html");
    FHelp->StartSearch();
}

void TTarnMainWindow::HelpHowToUse()
{
    ShowHelp("help.html");
}

void TTarnMainWindow::HelpAbout()
{
    TAboutBox about(this);
    about.exec();
}

void TTarnMainWindow::closeEvent(QCloseEvent *Event)
{
    if (FLogic->FormCloseQuery())
        Event->accept();
    else
        Event->ignore();
}

void TTarnMainWindow::Later(void (TTarnMain::*Handler)())
{
    QTimer::singleShot(0, this, [this, Handler] { (FLogic.get()->*Handler)(); });
}

bool TTarnMainWindow::eventFilter(QObject *Watched, QEvent *Event)
{
    TTarnMain &logic = *FLogic;
    const bool inDirView = Watched == DirView.Report || Watched == DirView.Icons;
    const bool inFileView = Watched == FileView.Report || Watched == FileView.Icons;
    if (Event->type() == QEvent::FocusIn) {
        if (inDirView)
            logic.DirViewEnter();
        else if (inFileView)
            logic.FileViewEnter();
        else if (Watched == PCFile)
            logic.PCFileEnter();
    } else if (Event->type() == QEvent::KeyPress && (inDirView || inFileView)) {
        const int key = static_cast<QKeyEvent *>(Event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Later(inDirView ? &TTarnMain::DirViewDblClick : &TTarnMain::FileViewDblClick);
            return true;
        }
        if (key == Qt::Key_Delete) {
            Later(inDirView ? &TTarnMain::DeleteDirectory1Click : &TTarnMain::DeleteFile1Click);
            return true;
        }
    }
    return QMainWindow::eventFilter(Watched, Event);
}

} // namespace tarn
