#include "player/ui/player_window.h"

#include "player/ui/help_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
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
#include <exception>

namespace tarn {

namespace {

const char *const Caption = "Tarn Script Player";

QPlainTextEdit *MakeTextView(const QString &name, QWidget *parent)
{
    auto *view = new QPlainTextEdit(parent);
    view->setObjectName(name);
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // The log only ever grows at its end; undo records would double its memory.
    view->setUndoRedoEnabled(false);
    return view;
}

QToolButton *MakeToolButton(const QString &name, const QString &text, const QString &hint,
                            QToolBar *bar)
{
    auto *button = new QToolButton(bar);
    button->setObjectName(name);
    button->setText(text);
    button->setToolTip(hint);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    bar->addWidget(button);
    return button;
}

QAction *MakeItem(const QString &name, const QString &text, QMenu *menu)
{
    QAction *item = menu->addAction(text);
    item->setObjectName(name);
    return item;
}

} // namespace

PlayerWindow::PlayerWindow(PlayerCommandLine commandLine, QWidget *parent)
    : QMainWindow(parent), m_Player(*this), m_CommandLine(std::move(commandLine))
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

    QToolBar *bar = addToolBar(tr("Tools"));
    bar->setObjectName("ToolBar");
    bar->setMovable(false);
    ExecuteButton = MakeToolButton("ExecuteButton", tr("Play"), tr("Play Script"), bar);
    StopButton = MakeToolButton("StopButton", tr("Stop"), tr("Stop Script"), bar);
    SpeedButton1 = MakeToolButton("SpeedButton1", tr("Open"), tr("Open Script"), bar);
    SpeedButton2 = MakeToolButton("SpeedButton2", tr("Exit"), tr("Exit Script Player"), bar);

    auto *splitter = new QSplitter(Qt::Vertical, this);
    Script = MakeTextView("Script", splitter);
    ScriptLog = MakeTextView("ScriptLog", splitter);
    splitter->addWidget(Script);
    splitter->addWidget(ScriptLog);
    setCentralWidget(splitter);

    StatusLine = new QLabel(this);
    StatusLine->setObjectName("StatusLine");
    statusBar()->addWidget(StatusLine, 1);

    // Disabled until start-up, as at design time.
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
    ShowErrorBox = [this](const QString &message) {
        QMessageBox::critical(this, Caption, message);
    };
    m_SinceEvents.start();
}

PlayerWindow::~PlayerWindow()
{
    delete m_Help;
}

void PlayerWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (m_Started)
        return;
    m_Started = true;
    // After the window is on screen, so that a run started by "/R" is seen as it goes.
    QTimer::singleShot(0, this, [this] { StartUp(); });
}

void PlayerWindow::StartUp()
{
    SetOpenAvailable(false);
    m_Player.StartUp(m_CommandLine);
    SetOpenAvailable(true);
    CloseIfAsked();
}

void PlayerWindow::ExecuteButtonClick()
{
    if (m_Player.Busy() || !ExecuteButton->isEnabled())
        return;
    SetOpenAvailable(false);
    try {
        m_Player.ExecuteButtonClick();
    } catch (const std::exception &error) {
        // The window keeps the Running look until a script is opened again.
        FlushLog();
        ShowErrorBox(QString::fromLocal8Bit(error.what()));
    }
    SetOpenAvailable(true);
    CloseIfAsked();
}

void PlayerWindow::StopButtonClick()
{
    if (StopButton->isEnabled())
        m_Player.StopButtonClick();
}

void PlayerWindow::FileOpenItemClick()
{
    if (m_Player.Busy())
        return;
    const QString fileName = ChooseScriptFile();
    if (fileName.isEmpty())
        return;
    try {
        m_Player.LoadScript(fileName.toLocal8Bit().toStdString());
    } catch (const std::exception &error) {
        ShowErrorBox(QString::fromLocal8Bit(error.what()));
        return;
    }
    ExecuteButton->setEnabled(true);
    Play1->setEnabled(true);
}

void PlayerWindow::HelpContentsItemClick()
{
    if (!m_Help)
        m_Help = new HelpWindow();
    m_Help->ShowPage("index.html");
    m_Help->show();
    m_Help->raise();
    m_Help->activateWindow();
}

void PlayerWindow::HelpAboutItemClick()
{
    QMessageBox::about(
        this, tr("About Tarn Script Player"),
        tr("<h3>Tarn Script Player</h3><p>Version %1</p>"
           "<p>Runs Tarn scripts (.tns) of FTP and local file commands, in this window or, "
           "with <tt>tarnsp --console</tt>, without one.</p>")
            .arg(QCoreApplication::applicationVersion()));
}

void PlayerWindow::LogLineAppended(const std::string &line)
{
    // Lines reach the text view in batches: one insertion and one relayout per event loop pass
    // instead of per line keeps a line's cost flat however long the log grows.
    m_PendingLog << QString::fromLocal8Bit(line);
    if (m_FlushQueued)
        return;
    m_FlushQueued = true;
    QTimer::singleShot(0, this, [this] { FlushLog(); });
}

void PlayerWindow::FlushLog()
{
    m_FlushQueued = false;
    if (m_PendingLog.isEmpty())
        return;
    ScriptLog->appendPlainText(m_PendingLog.join(QLatin1Char('\n')));
    m_PendingLog.clear();
}

void PlayerWindow::LogCleared()
{
    m_PendingLog.clear();
    ScriptLog->clear();
}

void PlayerWindow::StatusChanged(const std::string &text)
{
    StatusLine->setText(QString::fromLocal8Bit(text));
}

void PlayerWindow::ScriptChanged()
{
    QString text;
    for (const std::string &line : m_Player.Script()) {
        text += QString::fromLocal8Bit(line);
        text += QLatin1Char('\n');
    }
    Script->setPlainText(text);
}

void PlayerWindow::RunningChanged(bool running)
{
    FlushLog();
    ExecuteButton->setEnabled(!running);
    Play1->setEnabled(!running);
    StopButton->setEnabled(running);
    Stop1->setEnabled(running);
}

void PlayerWindow::CloseRequested()
{
    m_CloseAfterRun = true;
}

void PlayerWindow::BetweenLines()
{
    // Every line would make a long local script slow; a few times a second keeps Stop and the
    // log responsive.
    if (m_SinceEvents.elapsed() < 50)
        return;
    QCoreApplication::processEvents();
    m_SinceEvents.restart();
}

void PlayerWindow::closeEvent(QCloseEvent *event)
{
    if (m_Player.Busy()) {
        m_Player.Stopped = true;
        m_CloseAfterRun = true;
        event->ignore();
        return;
    }
    if (m_Help)
        m_Help->close();
    QMainWindow::closeEvent(event);
}

void PlayerWindow::SetOpenAvailable(bool available)
{
    SpeedButton1->setEnabled(available);
    FileOpenItem->setEnabled(available);
}

void PlayerWindow::CloseIfAsked()
{
    if (!m_CloseAfterRun)
        return;
    m_CloseAfterRun = false;
    close();
}

} // namespace tarn
