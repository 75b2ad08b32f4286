#include "player/ui/player_window.h"

#include "player/script_color_rules.h"
#include "support/ui/color_memo.h"
#include "support/ui/help_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <cstdio>
#include <exception>

namespace tarn {

namespace {

const char *const Caption = "Tarn Script Player";

template <typename TView> TView *MakeTextView(const QString &Name, QWidget *Parent)
{
    auto *view = new TView(Parent);
    view->setObjectName(Name);
    view->setAccessibleName(Name);
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    // Asked for as fixed-pitch whatever the desktop's fixed font turns out to be.
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    view->setFont(font);
    // The log only ever grows at its end; undo records would double its memory.
    view->setUndoRedoEnabled(false);
    return view;
}

QToolButton *MakeToolButton(const QString &Name, const QString &Text, const QString &Hint,
                            QToolBar *Bar)
{
    auto *button = new QToolButton(Bar);
    button->setObjectName(Name);
    button->setText(Text);
    button->setToolTip(Hint);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    Bar->addWidget(button);
    return button;
}

QAction *MakeItem(const QString &Name, const QString &Text, QMenu *Menu)
{
    QAction *item = Menu->addAction(Text);
    item->setObjectName(Name);
    return item;
}

} // namespace

std::vector<THelpPage> PlayerHelpPages()
{
    return {
        {"index.html", "Contents"},
        {"using.html", "Using the player"},
        {"command-line.html", "Command line and console"},
        {"scripts.html", "Script language"},
        {"local-commands.html", "Local commands"},
        {"remote-commands.html", "Remote commands"},
    };
}

TPlayerWindow::TPlayerWindow(TPlayerCommandLine CommandLine, QWidget *Parent)
    : QMainWindow(Parent), FPlayer(*this), FCommandLine(std::move(CommandLine))
{
    setWindowTitle(Caption);
    resize(640, 480);

    QMenu *fileMenu = menuBar()->addMenu(tr("&File"));
    FileOpenItem = MakeItem("FileOpenItem", tr("&Open..."), fileMenu);
    Play1 = MakeItem("Play1", tr("&Play"), fileMenu);
    Stop1 = MakeItem("Stop1", tr("&Stop"), fileMenu);
    fileMenu->addSeparator();
    FileExitItem = MakeItem("FileExitItem", tr("E&xit"), fileMenu);
    QMenu *helpMenu = menuBar()->addMenu(tr("&Help"));
    HelpContentsItem = MakeItem("HelpContentsItem", tr("&Contents"), helpMenu);
    HelpAboutItem = MakeItem("HelpAboutItem", tr("&About..."), helpMenu);
    // Spelt out: not every platform theme has a standard key for Quit.
    FileOpenItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    FileExitItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    HelpContentsItem->setShortcut(QKeySequence(Qt::Key_F1));

    QToolBar *bar = addToolBar(tr("Tools"));
    bar->setObjectName("ToolBar");
    bar->setMovable(false);
    ExecuteButton = MakeToolButton("ExecuteButton", tr("Play"), tr("Play Script"), bar);
    StopButton = MakeToolButton("StopButton", tr("Stop"), tr("Stop Script"), bar);
    SpeedButton1 = MakeToolButton("SpeedButton1", tr("Open"), tr("Open Script"), bar);
    SpeedButton2 = MakeToolButton("SpeedButton2", tr("Exit"), tr("Exit Script Player"), bar);

    auto *splitter = new QSplitter(Qt::Vertical, this);
    Script = MakeTextView<TColorMemo>("Script", splitter);
    Script->SetColorRules(ScriptColorRules(ScriptKeywords));
    ScriptLog = MakeTextView<QPlainTextEdit>("ScriptLog", splitter);
    splitter->addWidget(Script);
    splitter->addWidget(ScriptLog);
    setCentralWidget(splitter);

    StatusLine = new QLabel(this);
    StatusLine->setObjectName("StatusLine");
    statusBar()->addWidget(StatusLine, 1);

    // Disabled until start-up has loaded the command line's script.
    ExecuteButton->setEnabled(false);
    StopButton->setEnabled(false);
    Play1->setEnabled(false);
    Stop1->setEnabled(false);

    connect(ExecuteButton, &QToolButton::clicked, this, [this] { ExecuteButtonClick(); });
    connect(Play1, &QAction::triggered, this, [this] { ExecuteButtonClick(); });
    connect(StopButton, &QToolButton::clicked, this, [this] { StopButtonClick(); });
    connect(Stop1, &QAction::triggered, this, [this] { StopButtonClick(); });
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { FileOpenItemClick(); });
    connect(FileOpenItem, &QAction::triggered, this, [this] { FileOpenItemClick(); });
    connect(SpeedButton2, &QToolButton::clicked, this, &QWidget::close);
    connect(FileExitItem, &QAction::triggered, this, &QWidget::close);
    connect(HelpContentsItem, &QAction::triggered, this, [this] { HelpContentsItemClick(); });
    connect(HelpAboutItem, &QAction::triggered, this, [this] { HelpAboutItemClick(); });

    ChooseScriptFile = [this] {
        return QFileDialog::getOpenFileName(this, tr("Open"), QString(),
                                            tr("Tarn Scripts (*.tns)"));
    };
    ShowErrorBox = [this](const QString &Message) {
        QMessageBox::critical(this, Caption, Message);
    };
    FSinceEvents.start();
}

TPlayerWindow::~TPlayerWindow()
{
    delete FHelp;
}

void TPlayerWindow::showEvent(QShowEvent *Event)
{
    QMainWindow::showEvent(Event);
    if (FStarted)
        return;
    FStarted = true;
    // After the window is on screen, so that a run started by "/R" is seen as it goes.
    QTimer::singleShot(0, this, [this] { StartUp(); });
}

void TPlayerWindow::StartUp()
{
    SetOpenAvailable(false);
    try {
        FPlayer.StartUp(FCommandLine);
        if (FCommandLine.RunSwitch())
            FExitStatus = FPlayer.ExitStatus();
    } catch (const std::exception &error) {
        // A script that cannot be loaded leaves the window idle; an error that escaped the
        // run keeps the Running look until a script is opened again. With "/X" the window
        // closes either way, so that whoever started it learns of the failure.
        ReportError(error);
        if (FCommandLine.ExitSwitch())
            FCloseAfterRun = true;
    }
    SetOpenAvailable(true);
    CloseIfAsked();
}

void TPlayerWindow::ExecuteButtonClick()
{
    if (FPlayer.Busy() || !ExecuteButton->isEnabled())
        return;
    SetOpenAvailable(false);
    try {
        FPlayer.ExecuteButtonClick();
        FExitStatus = FPlayer.ExitStatus();
    } catch (const std::exception &error) {
        // The window keeps the Running look until a script is opened again.
        ReportError(error);
        if (FPlayer.ExitWhenDone)
            FCloseAfterRun = true;
    }
    SetOpenAvailable(true);
    CloseIfAsked();
}

void TPlayerWindow::ReportError(const std::exception &Error)
{
    FlushLog();
    FExitStatus = FPlayer.InterruptSignal() != 0 ? FPlayer.ExitStatus() : 2;
    std::fprintf(stderr, "tarnsp: %s\n", Error.what());
    std::fflush(stderr);
    ShowErrorBox(QString::fromLocal8Bit(Error.what()));
}

void TPlayerWindow::Interrupt(int Signal)
{
    FExitStatus = 128 + Signal;
    if (FPlayer.Busy()) {
        FPlayer.Interrupt(Signal);
        FCloseAfterRun = true;
        return;
    }
    // A message box that is open goes first, so that nothing keeps the program running.
    for (QWidget *modal = QApplication::activeModalWidget(); modal && modal->close();) {
        QWidget *next = QApplication::activeModalWidget();
        modal = next != modal ? next : nullptr;
    }
    close();
}

void TPlayerWindow::StopButtonClick()
{
    if (StopButton->isEnabled())
        FPlayer.StopButtonClick();
}

void TPlayerWindow::FileOpenItemClick()
{
    if (FPlayer.Busy())
        return;
    const QString fileName = ChooseScriptFile();
    if (fileName.isEmpty())
        return;
    try {
        FPlayer.LoadScript(fileName.toLocal8Bit().toStdString());
    } catch (const std::exception &error) {
        ShowErrorBox(QString::fromLocal8Bit(error.what()));
        return;
    }
    ExecuteButton->setEnabled(true);
    Play1->setEnabled(true);
}

void TPlayerWindow::HelpContentsItemClick()
{
    if (!FHelp)
        FHelp = new THelpWindow(tr("Tarn Script Player Help"), PlayerHelpPages());
    FHelp->ShowPage("index.html");
    FHelp->show();
    FHelp->raise();
    FHelp->activateWindow();
}

void TPlayerWindow::HelpAboutItemClick()
{
    QMessageBox::about(
        this, tr("About Tarn Script Player"),
        tr("<h3>Tarn Script Player</h3><p>Version %1</p>"
           "<p>Runs Tarn scripts (.tns) of FTP and local file commands, in this window or, "
           "with <tt>tarnsp --console</tt>, without one.</p>")
            .arg(QCoreApplication::applicationVersion()));
}

void TPlayerWindow::LogLineAppended(const std::string &Line)
{
    // Lines reach the text view in batches: one insertion and one relayout per event loop pass
    // instead of per line keeps a line's cost flat however long the log grows.
    FPendingLog << QString::fromLocal8Bit(Line);
    if (FFlushQueued)
        return;
    FFlushQueued = true;
    QTimer::singleShot(0, this, [this] { FlushLog(); });
}

void TPlayerWindow::FlushLog()
{
    FFlushQueued = false;
    if (FPendingLog.isEmpty())
        return;
    ScriptLog->appendPlainText(FPendingLog.join(QLatin1Char('\n')));
    FPendingLog.clear();
}

void TPlayerWindow::LogCleared()
{
    FPendingLog.clear();
    ScriptLog->clear();
}

void TPlayerWindow::StatusChanged(const std::string &Text)
{
    StatusLine->setText(QString::fromLocal8Bit(Text));
}

void TPlayerWindow::ScriptChanged()
{
    const std::string &file = FPlayer.ScriptFileName();
    setWindowTitle(file.empty()
                       ? QString(Caption)
                       : QFileInfo(QString::fromLocal8Bit(file)).fileName() + " - " + Caption);
    QString text;
    for (const std::string &line : FPlayer.Script()) {
        text += QString::fromLocal8Bit(line);
        text += QLatin1Char('\n');
    }
    Script->setPlainText(text);
}

void TPlayerWindow::RunningChanged(bool Running)
{
    FlushLog();
    ExecuteButton->setEnabled(!Running);
    Play1->setEnabled(!Running);
    StopButton->setEnabled(Running);
    Stop1->setEnabled(Running);
}

void TPlayerWindow::CloseRequested()
{
    FCloseAfterRun = true;
}

void TPlayerWindow::BetweenLines()
{
    // Every line would make a long local script slow; a few times a second keeps Stop and the
    // log responsive.
    if (FSinceEvents.elapsed() < 50)
        return;
    QCoreApplication::processEvents();
    FSinceEvents.restart();
}

void TPlayerWindow::closeEvent(QCloseEvent *Event)
{
    if (FPlayer.Busy()) {
        FPlayer.Stopped = true;
        FCloseAfterRun = true;
        Event->ignore();
        return;
    }
    if (FHelp)
        FHelp->close();
    QMainWindow::closeEvent(Event);
}

void TPlayerWindow::SetOpenAvailable(bool Available)
{
    SpeedButton1->setEnabled(Available);
    FileOpenItem->setEnabled(Available);
}

void TPlayerWindow::CloseIfAsked()
{
    if (!FCloseAfterRun)
        return;
    FCloseAfterRun = false;
    close();
}

} // namespace tarn
