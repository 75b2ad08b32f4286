// The main window's controls: menus, tool bar, pages, the command row and the status line.

#include "client/ui/tarn_main_window.h"

#include "client/ui/animation.h"
#include "support/ui/help_window.h"
#include "support/ui/local_text.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <cmath>

namespace tarn {

namespace {

// The client area the window is laid out for, in pixels at 96 dots per inch.
constexpr int DesignDpi = 96;
constexpr int ClientWidth = 611;
constexpr int ClientHeight = 363;

QAction *MakeItem(QMenu *Menu, const QString &Name, const char *Text, const char *Keys = nullptr)
{
    QAction *item = Menu->addAction(Text);
    item->setObjectName(Name);
    if (Keys)
        item->setShortcut(QKeySequence(Keys));
    return item;
}

QToolButton *MakeButton(QWidget *Parent, const char *Name, const char *Caption, const char *Hint)
{
    auto *button = new QToolButton(Parent);
    button->setObjectName(Name);
    button->setText(Caption);
    button->setToolTip(Hint);
    button->setAccessibleDescription(Hint);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return button;
}

QPlainTextEdit *MakeTextPage(QWidget *Parent, const char *Name, bool ReadOnly)
{
    auto *text = new QPlainTextEdit(Parent);
    text->setObjectName(Name);
    text->setReadOnly(ReadOnly);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    if (ReadOnly)
        text->setUndoRedoEnabled(false); // the log only grows; undo would double its memory
    return text;
}

} // namespace

TTarnMainWindow::TTarnMainWindow(TUserDialogs *Dialogs,
                                 std::unique_ptr<TDialUpBackend> DialUpBackend, QWidget *Parent)
    : QMainWindow(Parent), FOwnDialogs(Dialogs ? nullptr : std::make_unique<TWidgetDialogs>(this)),
      FDialogs(Dialogs ? *Dialogs : *FOwnDialogs),
      FLogic(std::make_unique<TTarnMain>(*this, FDialogs, std::move(DialUpBackend)))
{
    setWindowTitle("Tarn Client");
    CreateMenus();
    CreateToolBar();
    CreatePages();
    CreateBottom();
    CreateStatusLine();
    FileDrag1 = std::make_unique<TFileDrag>(this);
    CreateLogMenu();
    NameControls();
    ConnectActions();

    // At least the laid-out client area, and wide enough for every tool button: the fonts of
    // a desktop may need more room than the layout gives them.
    const QSize client = DesignedClientSize();
    const QSize designed(client.width(), client.height() + menuBar()->sizeHint().height());
    setMinimumSize(
        designed.expandedTo(minimumSizeHint()).expandedTo({ToolBar1->sizeHint().width(), 0}));
    resize(minimumSize());
}

TTarnMainWindow::~TTarnMainWindow()
{
    // The views show the logic's entries and selection: they go first.
    delete takeCentralWidget();
    delete FHelp;
    FLogic.reset();
}

QSize TTarnMainWindow::DesignedClientSize() const
{
    const QScreen *display = screen();
    const double dpi = display ? display->logicalDotsPerInch() : DesignDpi;
    return {int(std::lround(ClientWidth * dpi / DesignDpi)),
            int(std::lround(ClientHeight * dpi / DesignDpi))};
}

void TTarnMainWindow::CreateMenus()
{
    File1 = menuBar()->addMenu("&File");
    Login1 = MakeItem(File1, "Login1", "&Connect", "Ctrl+L");
    AbortTransfer1 = MakeItem(File1, "AbortTransfer1", "A&bort Transfer", "Ctrl+A");
    ClearLog1 = MakeItem(File1, "ClearLog1", "C&lear Log");
    SaveLog1 = MakeItem(File1, "SaveLog1", "&Save Log");
    File1->addSeparator();
    Exit1 = MakeItem(File1, "Exit1", "E&xit");

    Settings1 = menuBar()->addMenu("&Settings");
    Ascii1 = MakeItem(Settings1, "Ascii1", "&Ascii");
    Binary1 = MakeItem(Settings1, "Binary1", "&Binary");
    auto *types = new QActionGroup(this);
    for (QAction *type : {Ascii1, Binary1}) {
        type->setCheckable(true);
        types->addAction(type);
    }
    Settings1->addSeparator();
    ViewToolbar1 = MakeItem(Settings1, "ViewToolbar1", "View &Toolbar");
    ViewLog1 = MakeItem(Settings1, "ViewLog1", "View &Log");
    for (QAction *view : {ViewToolbar1, ViewLog1}) {
        view->setCheckable(true);
        view->setChecked(true);
    }
    Settings1->addSeparator();
    LibraryList1 = MakeItem(Settings1, "LibraryList1", "L&ibrary List");
    Preferences1 = MakeItem(Settings1, "Preferences1", "&Preferences");

    Operations1 = menuBar()->addMenu("&Operations");
    Disconnect1 = MakeItem(Operations1, "Disconnect1", "Disc&onnect", "Ctrl+O");
    Operations1->addSeparator();
    ChangeDirectory1 = MakeItem(Operations1, "ChangeDirectory1", "Change &Directory", "Ctrl+D");
    ParentDirectory1 = MakeItem(Operations1, "ParentDirectory1", "&Parent Directory", "Ctrl+U");
    CreateDirectory1 = MakeItem(Operations1, "CreateDirectory1", "&Create Directory", "Ctrl+C");
    DeleteDirectory1 = MakeItem(Operations1, "DeleteDirectory1", "D&elete Directory", "Ctrl+E");
    Operations1->addSeparator();
    ReceiveFile1 = MakeItem(Operations1, "ReceiveFile1", "&Receive File", "Ctrl+R");
    SendFile1 = MakeItem(Operations1, "SendFile1", "&Send File", "Ctrl+S");
    DeleteFile1 = MakeItem(Operations1, "DeleteFile1", "Dele&te File", "Ctrl+T");
    RenameFile1 = MakeItem(Operations1, "RenameFile1", "Re&name File", "Ctrl+N");

    Scripts1 = menuBar()->addMenu("S&cripts");
    ClearScriptWindow1 = MakeItem(Scripts1, "ClearScriptWindow1", "&Clear Script Window");
    OpenScript1 = MakeItem(Scripts1, "OpenScript1", "&Open Script");
    SaveScript1 = MakeItem(Scripts1, "SaveScript1", "&Save Script");
    Scripts1->addSeparator();
    RecordScript1 = MakeItem(Scripts1, "RecordScript1", "&Record Script");
    StopRecording1 = MakeItem(Scripts1, "StopRecording1", "S&top Recording");

    Help1 = menuBar()->addMenu("&Help");
    Contents1 = MakeItem(Help1, "Contents1", "&Contents");
    SearchforHelpOn1 = MakeItem(Help1, "SearchforHelpOn1", "&Search for Help On...");
    HowtoUseHelp1 = MakeItem(Help1, "HowtoUseHelp1", "&How to Use Help");
    Help1->addSeparator();
    About1 = MakeItem(Help1, "About1", "&About...");

    const std::pair<QMenu *, const char *> menus[] = {{File1, "File1"},
                                                      {Settings1, "Settings1"},
                                                      {Operations1, "Operations1"},
                                                      {Scripts1, "Scripts1"},
                                                      {Help1, "Help1"}};
    for (const auto &[menu, name] : menus) {
        menu->setObjectName(name);
        menu->menuAction()->setObjectName(QString(name) + "Menu");
    }
}

void TTarnMainWindow::CreateToolBar()
{
    ToolBar1 = addToolBar("Tool Bar");
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    // Left to right; a separator follows Exit, Logout, Create, Rename, Receive and Abort.
    const struct
    {
        QToolButton **Button;
        const char *Name, *Caption, *Hint;
        bool SeparatorAfter;
    } buttons[] = {
        {&ExitButton, "ExitButton", "Exit", "Exit Tarn", true},
        {&LoginButton, "LoginButton", "Connect", "Connect", false},
        {&LogoutButton, "LogoutButton", "Logout", "Disconnect", true},
        {&LibraryButton, "LibraryButton", "CD", "Change Directory", false},
        {&CDUPButton, "CDUPButton", "CDUP", "Parent Directory", false},
        {&NewDirButton, "NewDirButton", "Create", "Create Directory", true},
        {&DeleteButton, "DeleteButton", "Delete", "Delete File or Directory", false},
        {&RenameButton, "RenameButton", "Rename", "Rename File", true},
        {&Send, "Send", "Send", "Send File", false},
        {&Receive, "Receive", "Receive", "Receive File", true},
        {&AbortButton, "AbortButton", "Abort", "Abort Operation", true},
        {&AButton, "AButton", "Ascii", "Ascii", false},
        {&BButton, "BButton", "Binary", "Binary", false},
    };
    for (const auto &button : buttons) {
        *button.Button = MakeButton(ToolBar1, button.Name, button.Caption, button.Hint);
        ToolBar1->addWidget(*button.Button);
        if (button.SeparatorAfter)
            ToolBar1->addSeparator();
    }
    auto *spacer = new QWidget(ToolBar1);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    ToolBar1->addWidget(spacer);
    Animate1 = new TAnimation(ToolBar1);
    Animate1->setObjectName("Animate1");
    ToolBar1->addWidget(Animate1)->setVisible(true);
}

TTarnMainWindow::TListPanel TTarnMainWindow::CreateListPanel(
    TListView &List, const char *Name, bool MultiSelect, const char *StyleSuffix,
    const std::array<const char *, 4> &StyleTexts, const std::array<TItemName, 2> &ActionItems)
{
    TListPanel panel;
    panel.Stack = new QStackedWidget(FTPSheet);
    panel.Stack->setObjectName(QString(Name) + "Panel");
    const auto selection =
        MultiSelect ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection;

    panel.Report = new QTreeView(panel.Stack);
    panel.Report->setRootIsDecorated(false);
    panel.Report->setItemsExpandable(false);
    panel.Report->setUniformRowHeights(true); // rows are measured once, not 100,000 times
    panel.Report->setAllColumnsShowFocus(true);
    panel.Report->setSelectionBehavior(QAbstractItemView::SelectRows);
    panel.Report->setEditTriggers(QAbstractItemView::NoEditTriggers);
    panel.Report->setModel(&List.Model);
    panel.Report->setSelectionModel(&List.Selection);
    panel.Report->setSelectionMode(selection);
    panel.Report->header()->setSectionsClickable(true);
    panel.Report->header()->setSortIndicatorShown(true);
    panel.Report->header()->setStretchLastSection(true); // the last column takes the room left

    panel.Icons = new QListView(panel.Stack);
    panel.Icons->setModel(&List.Model);
    panel.Icons->setSelectionModel(&List.Selection);
    panel.Icons->setSelectionMode(selection);
    panel.Icons->setEditTriggers(QAbstractItemView::NoEditTriggers);
    panel.Icons->setUniformItemSizes(true);
    panel.Icons->setLayoutMode(QListView::Batched);
    panel.Icons->setResizeMode(QListView::Adjust);

    panel.Stack->addWidget(panel.Report);
    panel.Stack->addWidget(panel.Icons);
    for (QAbstractItemView *view :
         {(QAbstractItemView *)panel.Report, (QAbstractItemView *)panel.Icons}) {
        view->setObjectName(Name);
        view->setAccessibleName(Name);
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        view->installEventFilter(this);
    }

    panel.Menu = new QMenu(this);
    panel.Menu->setObjectName(QString(Name) + "Menu");
    auto *styles = new QActionGroup(panel.Menu);
    for (std::size_t i = 0; i < 4; ++i) {
        static const char *const styleNames[] = {"LargeIcons", "SmallIcons", "List", "Report"};
        panel.Styles[i] = MakeItem(panel.Menu, QString(styleNames[i]) + StyleSuffix, StyleTexts[i]);
        panel.Styles[i]->setCheckable(true);
        styles->addAction(panel.Styles[i]);
    }
    panel.Menu->addSeparator();
    for (std::size_t i = 0; i < 2; ++i)
        panel.Actions[i] = MakeItem(panel.Menu, ActionItems[i].Name, ActionItems[i].Text);
    return panel;
}

void TTarnMainWindow::CreatePages()
{
    PageControl = new QTabWidget(this);
    FTPSheet = new QWidget(PageControl);
    LogPage = new QWidget(PageControl);
    ScriptPage = new QWidget(PageControl);
    PageControl->addTab(FTPSheet, "FTP");
    PageControl->addTab(LogPage, "Log");
    PageControl->addTab(ScriptPage, "Script");

    // FTP: the two name fields over the two list views.
    AS400File = new QLineEdit(FTPSheet);
    PCFile = new QLineEdit(QDir::homePath() + "/", FTPSheet);
    PCFileButton = MakeButton(FTPSheet, "PCFileButton", "...", "Choose the local file");
    auto *remoteLabel = new QLabel("Remote File:", FTPSheet);
    remoteLabel->setBuddy(AS400File);
    auto *localLabel = new QLabel("Local File:", FTPSheet);
    localLabel->setBuddy(PCFile);
    auto *fields = new QHBoxLayout;
    fields->addWidget(remoteLabel);
    fields->addWidget(AS400File, 1);
    fields->addWidget(localLabel);
    fields->addWidget(PCFile, 1);
    fields->addWidget(PCFileButton);

    DirView = CreateListPanel(
        FLogic->DirView, "DirView", false, "1",
        {"&Large Icons", "&Small Icons", "Lis&t", "&Report"},
        {{{"DeleteDirectory2", "&Delete Directory"}, {"CreateDirectory2", "&Create Directory"}}});
    FileView =
        CreateListPanel(FLogic->FileView, "FileView", true, "2",
                        {"&LargeIcons", "&Small Icons", "Lis&t", "&Report"},
                        {{{"DeleteFile2", "&Delete File"}, {"RenameFile2", "Re&name File"}}});
    FLogic->DirView.Model.Picture = style()->standardIcon(QStyle::SP_DirIcon);
    FLogic->FileView.Model.Picture = style()->standardIcon(QStyle::SP_FileIcon);
    const double scale = DesignedClientSize().width() / double(ClientWidth);
    const int widths[] = {125, 55, 200, 80, 105};
    DirView.Report->setColumnWidth(0, int(widths[0] * scale));
    DirView.Report->setColumnWidth(1, int(widths[1] * scale));
    for (int column = 0; column < 3; ++column)
        FileView.Report->setColumnWidth(column, int(widths[2 + column] * scale));
    SetListStyle(DirView, 3);
    SetListStyle(FileView, 3);

    auto *lists = new QSplitter(Qt::Horizontal, FTPSheet);
    lists->setObjectName("ListSplitter");
    lists->setChildrenCollapsible(false);
    lists->addWidget(DirView.Stack);
    lists->addWidget(FileView.Stack);
    lists->setStretchFactor(0, 2);
    lists->setStretchFactor(1, 3);
    auto *ftp = new QVBoxLayout(FTPSheet);
    ftp->addLayout(fields);
    ftp->addWidget(lists, 1);

    Log = MakeTextPage(LogPage, "Log", true);
    auto *log = new QVBoxLayout(LogPage);
    log->setContentsMargins(0, 0, 0, 0);
    log->addWidget(Log);

    // Script: a tool bar over a plain editor (a colouring editor can take its place).
    auto *scriptBar = new QToolBar(ScriptPage);
    scriptBar->setObjectName("ScriptBar");
    OpenButton = MakeButton(scriptBar, "OpenButton", "Open", "Open Script");
    SaveButton = MakeButton(scriptBar, "SaveButton", "Save", "Save Script");
    ClearButton = MakeButton(scriptBar, "ClearButton", "Clear", "Clear Script");
    RecordButton = MakeButton(scriptBar, "RecordButton", "Record", "Record Script");
    StopButton = MakeButton(scriptBar, "StopButton", "Stop", "Stop Recording");
    PlayButton = MakeButton(scriptBar, "PlayButton", "Play", "Play Script");
    for (QToolButton *button :
         {OpenButton, SaveButton, ClearButton, RecordButton, StopButton, PlayButton})
        scriptBar->addWidget(button);
    Script = MakeTextPage(ScriptPage, "Script", false);
    auto *script = new QVBoxLayout(ScriptPage);
    script->setContentsMargins(0, 0, 0, 0);
    script->addWidget(scriptBar);
    script->addWidget(Script);
}

void TTarnMainWindow::CreateLogMenu()
{
    LogMenu = new QMenu(this);
    LogMenu->setObjectName("LogMenu");
    LogMenu->addAction(ViewLog1);
    LogMenu->addSeparator();
    LogMenu->addAction(ClearLog1);
    LogMenu->addAction(SaveLog1);
    for (QWidget *owner :
         {static_cast<QWidget *>(Log), static_cast<QWidget *>(PageControl->tabBar())}) {
        owner->setContextMenuPolicy(Qt::CustomContextMenu);
        // A scroll area reports the point in its viewport.
        QWidget *area = owner == Log ? Log->viewport() : owner;
        connect(owner, &QWidget::customContextMenuRequested, this,
                [this, area](const QPoint &At) { LogMenu->popup(area->mapToGlobal(At)); });
    }
}

void TTarnMainWindow::CreateBottom()
{
    auto *central = new QWidget(this);
    central->setObjectName("ClientArea");
    auto *label = new QLabel("FTP Command:", central);
    CommandEdit = new QComboBox(central);
    CommandEdit->setEditable(true);
    CommandEdit->setInsertPolicy(QComboBox::NoInsert);
    CommandEdit->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    label->setBuddy(CommandEdit);
    EXButton = MakeButton(central, "EXButton", "Execute", "Execute Command");
    TransferProgress = new QProgressBar(central);
    TransferProgress->setRange(0, 100);
    TransferProgress->setValue(0);
    TransferProgress->setTextVisible(false);
    TransferProgress->setMaximumWidth(fontMetrics().averageCharWidth() * 20);
    auto *command = new QHBoxLayout;
    command->addWidget(label);
    command->addWidget(CommandEdit, 1);
    command->addWidget(EXButton);
    command->addWidget(TransferProgress);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 2);
    layout->addWidget(PageControl, 1);
    layout->addLayout(command);
    setCentralWidget(central);
}

void TTarnMainWindow::CreateStatusLine()
{
    StatusLine = new QWidget(statusBar());
    auto *layout = new QHBoxLayout(StatusLine);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    const double scale = DesignedClientSize().width() / double(ClientWidth);
    // Width at 96 dpi (0: the rest of the bar) and alignment of each panel.
    const struct
    {
        int Width;
        Qt::Alignment Align;
    } panels[] = {{60, Qt::AlignCenter},
                  {200, Qt::AlignLeft | Qt::AlignVCenter},
                  {150, Qt::AlignCenter},
                  {100, Qt::AlignCenter},
                  {0, Qt::AlignLeft | Qt::AlignVCenter}};
    for (std::size_t i = 0; i < Panels.size(); ++i) {
        auto *panel = new QLabel(StatusLine);
        panel->setObjectName(QString("Panel%1").arg(i));
        panel->setAccessibleName(QString("StatusLine panel %1").arg(i));
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setAlignment(panels[i].Align);
        if (panels[i].Width > 0) {
            panel->setFixedWidth(int(panels[i].Width * scale));
            layout->addWidget(panel);
        } else {
            panel->setMinimumWidth(int(25 * scale));
            layout->addWidget(panel, 1);
        }
        Panels[i] = panel;
    }
    statusBar()->addWidget(StatusLine, 1);
    statusBar()->setSizeGripEnabled(true);
}

void TTarnMainWindow::NameControls()
{
    const std::pair<QWidget *, const char *> widgets[] = {{PageControl, "PageControl"},
                                                          {FTPSheet, "FTPSheet"},
                                                          {LogPage, "LogPage"},
                                                          {ScriptPage, "ScriptPage"},
                                                          {AS400File, "AS400File"},
                                                          {PCFile, "PCFile"},
                                                          {Log, "Log"},
                                                          {Script, "Script"},
                                                          {CommandEdit, "CommandEdit"},
                                                          {TransferProgress, "TransferProgress"},
                                                          {StatusLine, "StatusLine"},
                                                          {Animate1, "Animate1"},
                                                          {ToolBar1, "ToolBar1"}};
    for (const auto &[widget, name] : widgets)
        widget->setObjectName(name);
    // Every named widget answers to its name on the accessibility bus; menu items are found
    // by their text, which is their accessible name.
    for (QWidget *widget : findChildren<QWidget *>()) {
        if (!widget->objectName().isEmpty() && widget->accessibleName().isEmpty())
            widget->setAccessibleName(widget->objectName());
    }
    statusBar()->setObjectName("StatusBar");

    FControls = {};
    const std::pair<TClientControl, QObject *> controls[] = {
        {ccDirView, DirView.Stack},
        {ccFileView, FileView.Stack},
        {ccFileDrag1, FileDrag1.get()},
        {ccAButton, AButton},
        {ccBButton, BButton},
        {ccExitButton, ExitButton},
        {ccLoginButton, LoginButton},
        {ccLogin1, Login1},
        {ccLogoutButton, LogoutButton},
        {ccLibraryButton, LibraryButton},
        {ccCDUPButton, CDUPButton},
        {ccNewDirButton, NewDirButton},
        {ccDeleteButton, DeleteButton},
        {ccRenameButton, RenameButton},
        {ccReceive, Receive},
        {ccSend, Send},
        {ccAbortButton, AbortButton},
        {ccAbortTransfer1, AbortTransfer1},
        {ccAS400File, AS400File},
        {ccPCFile, PCFile},
        {ccSettings1, Settings1},
        {ccOperations1, Operations1},
        {ccEXButton, EXButton},
        {ccCommandEdit, CommandEdit},
        {ccLibraryList1, LibraryList1},
        {ccRecordButton, RecordButton},
        {ccRecordScript1, RecordScript1},
        {ccStopButton, StopButton},
        {ccStopRecording1, StopRecording1},
        {ccSaveButton, SaveButton},
    };
    for (const auto &[control, object] : controls)
        FControls[control] = object;
}

} // namespace tarn
