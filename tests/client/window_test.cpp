// The client's window, offscreen: its controls by their accessible names, which of them each
// session state enables, its size, the keys of its text fields, the login dialog at start and
// the library list dialog; dialogs are answered through the seam or driven like a user would.

#include "client/ui/lib_list_dlg.h"
#include "client/ui/tarn_main_window.h"
#include "profile/connection_profile.h"
#include "profile/ui/login_dlg.h"
#include "support/settings_store.h"
#include "tests/client/client_harness.h"
#include "tests/common/colored_ranges.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <gtest/gtest.h>

namespace tarn::test {
namespace {

class ClientWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, Folder.filePath("config"));
        auto book = std::make_unique<TPhoneBook>();
        Window = std::make_unique<TTarnMainWindow>(&Dialogs, std::move(book));
        Window->Logic().FormCreate({});
        Window->show();
        // Shortcuts reach only the active window.
        Window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    }

    // A control by its accessible name, as a screen reader or a test tool finds it.
    // Of two widgets with one name (a list view's report and icon styles) the one shown.
    QWidget *Control(const QString &Name) const
    {
        QWidget *found = nullptr;
        for (QWidget *widget : Window->findChildren<QWidget *>()) {
            if (widget->accessibleName() == Name && (!found || widget->isVisibleTo(Window.get())))
                found = widget;
        }
        return found;
    }

    QAction *Item(const QString &Name) const { return Window->findChild<QAction *>(Name); }

    // Answers the next login dialog like a user: fills it in and presses Connect. (The initial
    // directory is typed in upper case, as IBM i names are.)
    void AnswerLogin(int Port, const std::string &HostDir)
    {
        QTimer::singleShot(0, [this, Port, HostDir] {
            TLoginDlg *dialog = nullptr;
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                if (auto *login = dynamic_cast<TLoginDlg *>(widget); login && login->isVisible())
                    dialog = login;
            }
            ASSERT_NE(dialog, nullptr);
            dialog->URLEdit->setText("127.0.0.1");
            dialog->UserEdit->setText("tester");
            dialog->PasswordEdit->setText("secret");
            dialog->LoginLibrary->setText(QString::fromStdString(HostDir));
            dialog->Download->setText(Folder.filePath("inbox"));
            dialog->PortEdit->setText(QString::number(Port));
            dialog->TimeoutEdit->setText("10");
            dialog->OKBtn->click();
        });
    }

    // Which of the table's controls the window shows enabled, by name.
    std::vector<std::string> EnabledNames() const
    {
        std::vector<std::string> names;
        for (int control = 0; control < ccStateControlCount; ++control) {
            const QString name = ControlName(TClientControl(control));
            bool enabled = false;
            if (name == "FileDrag1")
                enabled = Window->acceptDrops();
            else if (QMenu *menu = Window->findChild<QMenu *>(name))
                enabled = menu->menuAction()->isEnabled();
            else if (QAction *item = Item(name))
                enabled = item->isEnabled();
            else if (QWidget *widget = Control(name))
                enabled = widget->isEnabled();
            else
                ADD_FAILURE() << "no control named " << name.toStdString();
            if (enabled)
                names.push_back(name.toStdString());
        }
        return names;
    }

    QTemporaryDir Folder;
    TRecordingDialogs Dialogs;
    std::unique_ptr<TTarnMainWindow> Window;
};

TEST_F(ClientWindow, EveryControlAnswersToItsName)
{
    for (const char *name :
         {"ToolBar1",    "ExitButton",   "LoginButton",      "LogoutButton", "LibraryButton",
          "CDUPButton",  "NewDirButton", "DeleteButton",     "RenameButton", "Send",
          "Receive",     "AbortButton",  "AButton",          "BButton",      "PageControl",
          "AS400File",   "PCFile",       "DirView",          "FileView",     "Log",
          "CommandEdit", "EXButton",     "TransferProgress", "StatusLine"})
        EXPECT_NE(Control(name), nullptr) << name;
    // Hidden until work runs, but named.
    EXPECT_NE(Window->findChild<QWidget *>("Animate1"), nullptr);

    // Tool buttons keep their captions and hints.
    auto *exit = static_cast<QToolButton *>(Control("ExitButton"));
    EXPECT_EQ(exit->text(), "Exit");
    EXPECT_EQ(exit->toolTip(), "Exit Tarn");
    EXPECT_EQ(static_cast<QToolButton *>(Control("AbortButton"))->toolTip(), "Abort Operation");

    const std::pair<const char *, const char *> shortcuts[] = {
        {"Login1", "Ctrl+L"},           {"AbortTransfer1", "Ctrl+A"},
        {"Disconnect1", "Ctrl+O"},      {"ChangeDirectory1", "Ctrl+D"},
        {"ParentDirectory1", "Ctrl+U"}, {"CreateDirectory1", "Ctrl+C"},
        {"DeleteDirectory1", "Ctrl+E"}, {"ReceiveFile1", "Ctrl+R"},
        {"SendFile1", "Ctrl+S"},        {"DeleteFile1", "Ctrl+T"},
        {"RenameFile1", "Ctrl+N"}};
    for (const auto &[name, keys] : shortcuts) {
        ASSERT_NE(Item(name), nullptr) << name;
        EXPECT_EQ(Item(name)->shortcut(), QKeySequence(keys)) << name;
    }
    for (const char *name : {"ClearLog1",     "SaveLog1",
                             "Exit1",         "Ascii1",
                             "Binary1",       "ViewToolbar1",
                             "ViewLog1",      "LibraryList1",
                             "Preferences1",  "ClearScriptWindow1",
                             "OpenScript1",   "SaveScript1",
                             "RecordScript1", "StopRecording1",
                             "Contents1",     "SearchforHelpOn1",
                             "HowtoUseHelp1", "About1",
                             "LargeIcons1",   "Report2"})
        EXPECT_NE(Item(name), nullptr) << name;
    EXPECT_TRUE(Item("Ascii1")->isChecked());
    EXPECT_FALSE(Item("LibraryList1")->isVisible());
    EXPECT_FALSE(Item("StopRecording1")->isEnabled());
    EXPECT_TRUE(Item("RecordScript1")->isEnabled());
}

TEST_F(ClientWindow, OpensAtItsDesignedSizeAndOnlyGrows)
{
    const QSize client = Window->DesignedClientSize();
    EXPECT_GE(Window->width(), client.width());
    EXPECT_GE(Window->height(), client.height());
    EXPECT_GE(Window->minimumWidth(), client.width());
    // Larger: the list views take the room.
    const int listHeight = Control("FileView")->height();
    Window->resize(Window->width() + 200, Window->height() + 200);
    QApplication::processEvents();
    EXPECT_GT(Control("FileView")->height(), listHeight);
    EXPECT_EQ(Window->windowTitle(), "Tarn Client");
}

// The enabled states of each session state, as the window shows them, over a real session.
TEST_F(ClientWindow, EachStateEnablesItsControls)
{
    // The listing's end is held back a while, so that Busy can be seen.
    const auto server = StartServer("unix", {"--late-replies", "LIST", "--late-delay", "1500"});
    for (int i = 0; i < 20; ++i)
        WriteFile(server->Root() + "/DEMO/f" + std::to_string(i), "x");
    WriteFile(server->Root() + "/DEMO/readme.txt", "read me");

    using TNames = std::vector<std::string>;
    EXPECT_EQ(EnabledNames(), (TNames{"ExitButton", "LoginButton", "Login1"}));

    // Busy, seen while the slow first listing runs.
    TNames busy;
    bool busyCursor = false;
    QTimer::singleShot(800, [&] {
        busy = EnabledNames();
        busyCursor = Window->cursor().shape() == Qt::WaitCursor;
    });
    AnswerLogin(server->Port(), "/DEMO");
    QTest::mouseClick(Control("LoginButton"), Qt::LeftButton);
    // Lists keep what they had (nothing yet, disabled) while Busy.
    EXPECT_EQ(busy, (TNames{"AbortButton", "AbortTransfer1"}));
    EXPECT_TRUE(busyCursor);

    TNames ready;
    for (int control = 0; control < ccStateControlCount; ++control) {
        if (control != ccLoginButton && control != ccLogin1 && control != ccAbortButton &&
            control != ccAbortTransfer1)
            ready.push_back(ControlName(TClientControl(control)));
    }
    EXPECT_EQ(EnabledNames(), ready);
    EXPECT_EQ(Window->windowTitle(), "Tarn Client (127.0.0.1)");
    EXPECT_EQ(static_cast<QLabel *>(Control("StatusLine panel 4"))->text(), "Ready");
    EXPECT_EQ(static_cast<QLabel *>(Control("StatusLine panel 2"))->text(), "/DEMO");
    auto *files = static_cast<QTreeView *>(Control("FileView"));
    EXPECT_EQ(files->model()->rowCount(), 21);
    EXPECT_EQ(Window->cursor().shape(), Qt::ArrowCursor);

    // A click on a file fills the name fields.
    const QModelIndex readme =
        files->model()->index(TClientHarness::RowOf(Window->Logic().FileView, "readme.txt"), 0);
    files->scrollTo(readme);
    QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, files->visualRect(readme).center());
    EXPECT_EQ(static_cast<QLineEdit *>(Control("AS400File"))->text(), "readme.txt");
    EXPECT_EQ(static_cast<QLineEdit *>(Control("PCFile"))->text().toStdString(),
              Folder.filePath("inbox").toStdString() + "/readme.txt");

    // A column click re-sorts; the header shows the column.
    auto *header = files->header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
    EXPECT_EQ(Window->Logic().FileView.Model.SortColumn(), "Size");
    EXPECT_EQ(header->sortIndicatorSection(), 1);

    Item("Disconnect1")->trigger();
    EXPECT_EQ(EnabledNames(), (TNames{"ExitButton", "LoginButton", "Login1"}));
    EXPECT_EQ(files->model()->rowCount(), 0);
}

// Text fields keep their editing keys: Ctrl+C copies in the command box, and reaches the menu
// (Create Directory) only from elsewhere.
TEST_F(ClientWindow, TextFieldsKeepTheirEditingKeys)
{
    const auto server = StartServer("unix");
    AnswerLogin(server->Port(), "/DEMO");
    Window->Logic().LoginButtonClick();
    ASSERT_EQ(Window->Logic().Panel(4), "Ready");
    Window->activateWindow(); // back from the login dialog
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    int creates = 0;
    QObject::connect(Item("CreateDirectory1"), &QAction::triggered, [&] { ++creates; });

    auto *command = static_cast<QComboBox *>(Control("CommandEdit"));
    command->setEditText("RCMD DSPLIB");
    command->lineEdit()->selectAll();
    command->lineEdit()->setFocus();
    QApplication::clipboard()->clear();
    QTest::keyClick(command->lineEdit(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "RCMD DSPLIB");
    EXPECT_EQ(creates, 0);

    Control("DirView")->setFocus();
    QTest::keyClick(Control("DirView"), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(creates, 1) << QApplication::clipboard()->text().toStdString();
    Window->Logic().LogoutButtonClick();
}

TEST_F(ClientWindow, FileExitWhileBusyClosesAfterTheRequestIsAborted)
{
    const auto server = StartServer("unix", {"--late-replies", "LIST", "--late-delay", "8000"});
    bool exitUsable = false;
    QTimer::singleShot(1000, [&] {
        EXPECT_FALSE(Control("ExitButton")->isEnabled());
        exitUsable = Item("Exit1")->isEnabled();
        Item("Exit1")->trigger();
    });
    AnswerLogin(server->Port(), "/DEMO");
    const auto started = std::chrono::steady_clock::now();
    Window->Logic().LoginButtonClick();
    QTest::qWait(100); // the deferred close
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_TRUE(exitUsable);
    EXPECT_FALSE(Window->isVisible());
    EXPECT_FALSE(Window->Logic().ControlFtp.Connected());
    EXPECT_TRUE(Dialogs.Messages.empty());
}

// The operations as a user reaches them in the window: files dropped from the desktop, the
// Delete key, a pop-up item, Enter in the command box and the log's pop-up menu.
TEST_F(ClientWindow, OperationsReachTheLogicFromTheWindow)
{
    const auto server = StartServer("unix");
    WriteFile(server->Root() + "/DEMO/readme.txt", "read me");
    AnswerLogin(server->Port(), "/DEMO");
    TTarnMain &logic = Window->Logic();
    logic.LoginButtonClick();
    ASSERT_EQ(logic.Panel(4), "Ready");
    const auto waitReady = [&] {
        return QTest::qWaitFor([&] { return !logic.OperationRunning(); }) &&
               logic.Panel(4) == "Ready";
    };

    // Two files dropped as a file manager drops them (text/uri-list).
    QList<QUrl> urls;
    for (const char *name : {"one.txt", "two.txt"}) {
        const QString path = Folder.filePath(name);
        WriteFile(path.toStdString(), name);
        urls << QUrl::fromLocalFile(path);
    }
    QMimeData mime;
    mime.setUrls(urls);
    const QPoint at = Window->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(Window.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(Window.get(), &drop);
    ASSERT_TRUE(QTest::qWaitFor([&] { return logic.FileView.Model.Count() == 3; }));
    ASSERT_TRUE(waitReady());
    EXPECT_EQ(ReadFile(server->Root() + "/DEMO/two.txt"), "two.txt");
    EXPECT_EQ(TClientHarness::Captions(logic.FileView),
              (std::vector<std::string>{"one.txt", "readme.txt", "two.txt"}));

    // Send takes the names the fields show, also when a program (a screen reader, a test
    // driver) set them rather than keys.
    const QString local = Folder.filePath("set.txt");
    WriteFile(local.toStdString(), "set by a program");
    static_cast<QLineEdit *>(Control("AS400File"))->setText("sent.txt");
    static_cast<QLineEdit *>(Control("PCFile"))->setText(local);
    static_cast<QToolButton *>(Control("Send"))->click();
    ASSERT_TRUE(waitReady());
    EXPECT_EQ(ReadFile(server->Root() + "/DEMO/sent.txt"), "set by a program");

    // The Delete key in the file view deletes the selected file after asking.
    auto *files = static_cast<QTreeView *>(Control("FileView"));
    TClientHarness::Select(logic.FileView, TClientHarness::RowOf(logic.FileView, "one.txt"));
    files->setFocus();
    QTest::keyClick(files, Qt::Key_Delete);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Dialogs.Messages.empty(); }));
    ASSERT_TRUE(waitReady());
    EXPECT_EQ(Dialogs.Messages, std::vector<std::string>{"confirm: Delete file one.txt?"});
    EXPECT_FALSE(std::filesystem::exists(server->Root() + "/DEMO/one.txt"));

    // The file view's pop-up item Rename asks for the new name.
    Dialogs.Messages.clear();
    TClientHarness::Select(logic.FileView, TClientHarness::RowOf(logic.FileView, "two.txt"));
    Dialogs.Inputs.push_back("three.txt");
    Item("RenameFile2")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Dialogs.Messages.empty(); }));
    ASSERT_TRUE(waitReady());
    EXPECT_EQ(Dialogs.Messages,
              std::vector<std::string>{"input: Rename file two.txt | New Filename: | "});
    EXPECT_TRUE(std::filesystem::exists(server->Root() + "/DEMO/three.txt"));

    // A command typed into the box and sent with Enter; its answer is on the Log page.
    auto *command = static_cast<QComboBox *>(Control("CommandEdit"));
    command->lineEdit()->clear();
    QTest::keyClicks(command->lineEdit(), "NOOP");
    QTest::keyClick(command->lineEdit(), Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Contains(logic.LogLines(), "> NOOP"); }));
    ASSERT_TRUE(waitReady());
    EXPECT_EQ(static_cast<QTabWidget *>(Control("PageControl"))->currentIndex(), int(cpLog));
    auto *log = static_cast<QPlainTextEdit *>(Control("Log"));
    EXPECT_TRUE(log->toPlainText().contains("< 200"));

    // The log's pop-up menu: View Log, Clear Log, Save Log.
    auto *logMenu = Window->findChild<QMenu *>("LogMenu");
    ASSERT_NE(logMenu, nullptr);
    std::vector<QString> items;
    for (QAction *item : logMenu->actions())
        items.push_back(item->isSeparator() ? "-" : item->objectName());
    EXPECT_EQ(items, (std::vector<QString>{"ViewLog1", "-", "ClearLog1", "SaveLog1"}));
    Item("ClearLog1")->trigger();
    EXPECT_TRUE(log->toPlainText().isEmpty());
    logic.LogoutButtonClick();
    EXPECT_FALSE(Window->acceptDrops()) << "no drops while Offline";
}

// "tarn PROFILE.tnc": the window shows and the login dialog opens at once with the profile.
TEST_F(ClientWindow, AProfileArgumentOpensTheLoginDialogWithIt)
{
    const std::string profile = Folder.filePath("host.tnc").toStdString();
    TConnectionProfile values;
    values.URLOrIP = "as400.example";
    values.UserName = "QUSER";
    values.HostDir = "/QSYS.LIB";
    ASSERT_TRUE(WriteConnectionProfile(profile, values));

    Window = std::make_unique<TTarnMainWindow>(&Dialogs, std::make_unique<TPhoneBook>());
    Window->Logic().FormCreate({profile});
    Window->show();
    std::string shownHost, shownUser, shownProfile;
    QTimer::singleShot(0, [&] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *login = dynamic_cast<TLoginDlg *>(widget); login && login->isVisible()) {
                shownHost = login->URLEdit->text().toStdString();
                shownUser = login->UserEdit->text().toStdString();
                shownProfile = login->Profile->text().toStdString();
                login->CancelBtn->click();
            }
        }
    });
    QTest::qWait(200);
    EXPECT_EQ(shownHost, "as400.example");
    EXPECT_EQ(shownUser, "QUSER");
    EXPECT_EQ(shownProfile, profile);
    EXPECT_EQ(Window->Logic().Panel(4), "Offline");
}

TEST_F(ClientWindow, TheLibraryListDialogKeepsUpperCaseLibraries)
{
    const std::string file = Folder.filePath("host.tnl").toStdString();
    WriteFile(file, "QGPL.LIB\r\n");
    TLibListDlg dialog(Dialogs, Window.get());
    dialog.LibListFile = file;
    dialog.show();
    EXPECT_EQ(dialog.LibName->text().toStdString(), file);
    ASSERT_EQ(dialog.LibList->count(), 1);

    QTest::keyClicks(dialog.LibEdit, "mylib.lib");
    EXPECT_EQ(dialog.LibEdit->text(), "MYLIB.LIB");
    QTest::keyClick(dialog.LibEdit, Qt::Key_Return); // adds, does not close
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.LibEdit->text(), "");
    QTest::keyClicks(dialog.LibEdit, "demolib");
    dialog.AddButton->click();
    EXPECT_EQ(Dialogs.Messages,
              (std::vector<std::string>{"error: Libraries should be entered as libname.LIB ."}));
    EXPECT_EQ(dialog.LibList->count(), 2);
    dialog.LibEdit->clear();
    dialog.AddButton->click(); // empty: nothing but the focus
    EXPECT_EQ(Dialogs.Messages.size(), 1u);

    dialog.OKBtn->click();
    EXPECT_EQ(ReadFile(file), "MYLIB.LIB\r\nQGPL.LIB\r\n"); // sorted

    // Emptied and confirmed: the file goes.
    dialog.show();
    dialog.LibList->selectAll();
    dialog.DelButton->click();
    EXPECT_EQ(dialog.LibList->count(), 0);
    dialog.OKBtn->click();
    EXPECT_FALSE(std::filesystem::exists(file));
}

} // namespace
} // namespace tarn::test

namespace tarn::test {
namespace {

// The window's stored values across two starts: the transfer type, the list views' colours
// from the preferences, and the hints. The preferences dialog keeps its own last values also
// when it is closed by the frame, which changes nothing in the window.
TEST_F(ClientWindow, SettingsComeBackAtTheNextStart)
{
    EXPECT_EQ(Window->findChild<QLabel *>("Panel0")->text(), "ASCII") << "first run";
    EXPECT_TRUE(Item("Ascii1")->isChecked());
    Window->Logic().Binary1Click();

    // Preferences: a background colour picked, hints off, OK.
    const auto answerPreferences = [this](const char *Color, bool Ok) {
        QTimer::singleShot(0, [this, Color, Ok] {
            QDialog *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->windowTitle(), "Tarn Client Preferences");
            Dialogs.ColorAnswer = Color;
            dialog->findChild<QPushButton *>("BackColor")->click();
            dialog->findChild<QCheckBox *>("ShowHints")->setChecked(false);
            if (Ok)
                dialog->accept();
            else
                dialog->reject(); // the window frame's close
        });
    };
    answerPreferences("#102030", true);
    Item("Preferences1")->setEnabled(true);
    Item("Preferences1")->trigger();
    const auto background = [this] {
        return Control("DirView")->palette().color(QPalette::Base).name().toStdString();
    };
    EXPECT_EQ(background(), "#102030");
    EXPECT_EQ(static_cast<QToolButton *>(Control("ExitButton"))->toolTip(), "");

    answerPreferences("#405060", false);
    Item("Preferences1")->trigger();
    EXPECT_EQ(background(), "#102030") << "closed by the frame: the views keep their colours";

    ASSERT_TRUE(Window->close());
    Window = std::make_unique<TTarnMainWindow>(&Dialogs, std::make_unique<TPhoneBook>());
    Window->Logic().FormCreate({});
    Window->show();
    EXPECT_TRUE(Item("Binary1")->isChecked());
    EXPECT_EQ(Window->findChild<QLabel *>("Panel0")->text(), "BINARY");
    EXPECT_EQ(background(), "#102030");
    EXPECT_EQ(static_cast<QToolButton *>(Control("ExitButton"))->toolTip(), "");
    const std::string stored = ReadFile(OpenSettingsStore()->fileName().toStdString());
    for (const char *value :
         {"Binary1_Checked=True", "Ascii1_Checked=False", "DirView_Color=#102030",
          "ToolBar1_ShowHint=False", "BackColor_ColorValue=#405060", "ShowHints_Checked=False",
          "NormPos="})
        EXPECT_NE(stored.find(value), std::string::npos) << value << " in\n" << stored;

    // The dialog opens with its last values, the ones of the frame-closed time.
    QTimer::singleShot(0, [] {
        QDialog *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->findChild<QPushButton *>("BackColor")->text(), "#405060");
        dialog->reject();
    });
    Item("Preferences1")->setEnabled(true);
    Item("Preferences1")->trigger();
}

// The script page: recorded lines in the colouring editor, keywords in blue; typing enables
// Save and Play, clearing disables them.
TEST_F(ClientWindow, ScriptPageColoursKeywordsAndFollowsItsLines)
{
    auto *script = qobject_cast<QPlainTextEdit *>(Control("Script"));
    ASSERT_NE(script, nullptr);
    EXPECT_FALSE(Control("SaveButton")->isEnabled());
    EXPECT_FALSE(Control("PlayButton")->isEnabled());
    static_cast<QToolButton *>(Control("RecordButton"))->click();
    EXPECT_FALSE(Control("RecordButton")->isEnabled());
    Window->Logic().Binary1Click();
    Window->findChild<QTabWidget *>("PageControl")->setCurrentIndex(2);
    script->moveCursor(QTextCursor::End);
    QTest::keyClick(script, Qt::Key_Return);
    QTest::keyClicks(script, "chdir /home");
    static_cast<QToolButton *>(Control("StopButton"))->click();
    EXPECT_EQ(script->toPlainText(), "BINARY\nchdir      /home");
    EXPECT_TRUE(Control("SaveButton")->isEnabled());
    EXPECT_TRUE(Control("PlayButton")->isEnabled());
    QCoreApplication::processEvents();
    const auto blue = [&](int Line) { return ColoredRanges(*script, Line, Qt::blue); };
    EXPECT_EQ(blue(0), (std::vector<std::pair<int, int>>{{0, 6}}));
    EXPECT_EQ(blue(1), (std::vector<std::pair<int, int>>{{0, 5}}));
    static_cast<QToolButton *>(Control("ClearButton"))->click();
    EXPECT_FALSE(Control("SaveButton")->isEnabled());
    EXPECT_FALSE(Control("PlayButton")->isEnabled());
}

} // namespace
} // namespace tarn::test
