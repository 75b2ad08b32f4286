#include "profile/password_store.h"
#include "profile/ui/login_dlg.h"
#include "support/settings_store.h"
#include "tests/common/private_keyring.h"
#include "tests/profile/profile_files.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QToolButton>
#include <deque>
#include <gtest/gtest.h>

namespace tarn {

namespace {

// Answers the dialog's questions from queues, and records what it was shown.
class TScriptedDialogs : public TUserDialogs
{
public:
    std::vector<std::string> Errors;
    std::vector<TFileRequest> Requests;
    std::deque<std::optional<std::string>> Answers;

    void Information(const std::string &) override {}
    void Error(const std::string &Text) override { Errors.push_back(Text); }
    bool Confirm(const std::string &) override { return false; }
    TCertificateAnswer CertificateQuestion(const std::string &) override { return caCancel; }
    std::optional<std::string> InputQuery(const std::string &, const std::string &,
                                          const std::string &) override
    {
        return std::nullopt;
    }
    std::optional<std::string> OpenFileName(const TFileRequest &Request) override
    {
        return Answer(Request);
    }
    std::optional<std::string> SaveFileName(const TFileRequest &Request) override
    {
        return Answer(Request);
    }
    std::optional<std::string> DirectoryName(const std::string &Title,
                                             const std::string &Start) override
    {
        return Answer({Title, {}, {}, Start});
    }
    std::optional<std::string> ColorName(const std::string &, const std::string &) override
    {
        return std::nullopt;
    }

private:
    std::optional<std::string> Answer(const TFileRequest &Request)
    {
        Requests.push_back(Request);
        if (Answers.empty())
            return std::nullopt;
        auto answer = Answers.front();
        Answers.pop_front();
        return answer;
    }
};

class LoginDlg : public ::testing::Test, protected TProfileFiles
{
protected:
    void SetUp() override
    {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, Dir.path() + "/config");
    }

    static void Fill(TLoginDlg &Dlg)
    {
        Dlg.URLEdit->setText("as400");
        Dlg.UserEdit->setText("QUSER");
        Dlg.PasswordEdit->setText("secret");
        Dlg.LoginLibrary->setText("/QSYS.LIB");
        Dlg.Download->setText("/tmp/");
        Dlg.PortEdit->setText("21");
        Dlg.TimeoutEdit->setText("30");
    }

    static std::string LastProfile()
    {
        return OpenSettingsStore()->value("Profile_Caption").toString().toStdString();
    }

    TScriptedDialogs FDialogs;
};

TEST_F(LoginDlg, OpensWithDefaultsAndTheFieldsInOrder)
{
    TLoginDlg dlg(FDialogs);
    dlg.SetConnections({"Office VPN", "Mobile"});
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "Tarn Login");
    EXPECT_EQ(dlg.Profile->text(), "");
    EXPECT_EQ(dlg.PortEdit->text(), "21");
    EXPECT_EQ(dlg.TimeoutEdit->text(), "30");
    EXPECT_EQ(dlg.ConnectionEdit->currentText(), "LAN");
    EXPECT_EQ(dlg.URLEdit->text(), "");
    EXPECT_EQ(dlg.PasswordEdit->echoMode(), QLineEdit::Password);
    ASSERT_EQ(dlg.ConnectionEdit->count(), 3);
    EXPECT_EQ(dlg.ConnectionEdit->itemText(0), "LAN");
    EXPECT_EQ(dlg.ConnectionEdit->itemText(2), "Mobile");
    EXPECT_TRUE(dlg.OKBtn->isDefault());
    EXPECT_EQ(dlg.OKBtn->text(), "Connect");
    EXPECT_EQ(dlg.RememberPassword->accessibleName(), "Remember password in the keyring");
    EXPECT_FALSE(dlg.RememberPassword->isChecked());

    EXPECT_EQ(dlg.PassiveMode->accessibleName(), "Passive mode");
    EXPECT_FALSE(dlg.PassiveMode->isChecked());
    EXPECT_EQ(dlg.SecurityEdit->accessibleName(), "Security");
    EXPECT_EQ(dlg.SecurityEdit->currentText(), "None");

    const std::vector<QWidget *> fields = {
        dlg.URLEdit,          dlg.UserEdit,    dlg.PasswordEdit, dlg.LoginLibrary,
        dlg.Download,         dlg.PortEdit,    dlg.TimeoutEdit,  dlg.ConnectionEdit,
        dlg.RememberPassword, dlg.PassiveMode, dlg.SecurityEdit, dlg.OKBtn};
    QWidget *w = fields.front();
    for (size_t i = 1; i < fields.size(); ++i) {
        // Skips what takes no tab focus, and the inner line edit of the editable connection box.
        do
            w = w->nextInFocusChain();
        while (w != fields[i] &&
               ((w->focusPolicy() != Qt::TabFocus && w->focusPolicy() != Qt::StrongFocus &&
                 w->focusPolicy() != Qt::WheelFocus) ||
                fields[i - 1]->isAncestorOf(w)));
        if (w == dlg.DownloadButton)
            w = w->nextInFocusChain();
        EXPECT_EQ(w, fields[i]) << "field " << i;
        w = fields[i];
    }

    // The initial directory is typed in upper case.
    dlg.LoginLibrary->clear();
    QTest::keyClicks(dlg.LoginLibrary, "/qsys.lib/mylib.lib");
    EXPECT_EQ(dlg.LoginLibrary->text(), "/QSYS.LIB/MYLIB.LIB");
}

TEST_F(LoginDlg, ConnectNeedsEveryLoginField)
{
    QLineEdit *TLoginDlg::*required[] = {&TLoginDlg::URLEdit,      &TLoginDlg::UserEdit,
                                         &TLoginDlg::PasswordEdit, &TLoginDlg::LoginLibrary,
                                         &TLoginDlg::Download,     &TLoginDlg::PortEdit,
                                         &TLoginDlg::TimeoutEdit};
    for (auto field : required) {
        TLoginDlg dlg(FDialogs);
        dlg.show();
        Fill(dlg);
        (dlg.*field)->clear();
        FDialogs.Errors.clear();
        dlg.OKBtn->click();
        EXPECT_EQ(dlg.result(), QDialog::Rejected) << (dlg.*field)->objectName().toStdString();
        EXPECT_EQ(FDialogs.Errors, std::vector<std::string>{"Login information is incomplete!"});
    }

    TLoginDlg dlg(FDialogs);
    dlg.show();
    Fill(dlg);
    dlg.ConnectionEdit->setCurrentText("");
    dlg.TimeoutEdit->setText("not a number");
    dlg.Profile->setText(QString::fromStdString(Path("Host.TNC")));
    FDialogs.Errors.clear();
    dlg.OKBtn->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_TRUE(FDialogs.Errors.empty());
    EXPECT_EQ(dlg.LibraryListFile, Path("Host.tnl"));
}

TEST_F(LoginDlg, PassiveModeAndSecurityAreSavedAndLoaded)
{
    const std::string pin(64, 'A');
    const std::string file = Path("tls.tnc");
    Write(file, "[Connection]\r\nURLORIP=as400\r\nSECURITY=explicit\r\nPASSIVE=1\r\n"
                "TLSFINGERPRINT=" +
                    pin + "\r\n");
    TLoginDlg dlg(FDialogs);
    dlg.CommandLineProfile = file;
    dlg.show();
    EXPECT_TRUE(dlg.PassiveMode->isChecked());
    EXPECT_EQ(dlg.SecurityEdit->currentText(), "Explicit (AUTH TLS)");
    EXPECT_TRUE(FDialogs.Errors.empty());

    // Choosing implicit TLS moves the default port to 990; the port may then stay empty.
    Fill(dlg);
    dlg.PassiveMode->setChecked(false);
    dlg.SecurityEdit->setCurrentIndex(2);
    emit dlg.SecurityEdit->activated(2);
    EXPECT_EQ(dlg.PortEdit->text(), "990");
    FDialogs.Answers = {file};
    dlg.SaveButton->click();
    const TConnectionProfile saved = ReadConnectionProfile(file);
    EXPECT_EQ(saved.Passive, "0");
    EXPECT_EQ(saved.Security, "IMPLICIT");
    EXPECT_EQ(saved.TlsFingerprint, pin) << "kept, though no field shows it";
    dlg.PortEdit->clear();
    dlg.OKBtn->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_TRUE(FDialogs.Errors.empty());
}

TEST_F(LoginDlg, SecurityThatIsNotUnderstoodIsNeverClearText)
{
    const std::string file = Path("typo.tnc");
    Write(file, "[Connection]\r\nURLORIP=as400\r\nSECURITY=TSL\r\n");
    TLoginDlg dlg(FDialogs);
    dlg.CommandLineProfile = file;
    dlg.show();
    ASSERT_EQ(FDialogs.Errors.size(), 1u);
    EXPECT_NE(FDialogs.Errors[0].find("SECURITY=TSL is not understood"), std::string::npos)
        << FDialogs.Errors[0];
    EXPECT_EQ(dlg.SecurityEdit->currentIndex(), -1) << "no choice shown, certainly not None";

    // Saved untouched, the value stays; Connect refuses it and leaves the dialog open.
    Fill(dlg);
    FDialogs.Answers = {file};
    dlg.SaveButton->click();
    EXPECT_EQ(ReadConnectionProfile(file).Security, "TSL");
    FDialogs.Errors.clear();
    dlg.OKBtn->click();
    EXPECT_EQ(FDialogs.Errors.size(), 1u);
    EXPECT_TRUE(dlg.isVisible());

    // Once a security is chosen, Connect goes on.
    dlg.SecurityEdit->setCurrentIndex(1);
    FDialogs.Errors.clear();
    dlg.OKBtn->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_TRUE(FDialogs.Errors.empty());
    EXPECT_EQ(dlg.Values().Security, "EXPLICIT");
}

TEST_F(LoginDlg, OpenAndSaveGoThroughTheProfileDialogs)
{
    const std::string file = Path("host.tnc");
    Write(file, "[Connection]\r\nURLORIP=as400\r\nUSERNAME=QUSER\r\n");
    TLoginDlg dlg(FDialogs);
    dlg.show();
    dlg.PasswordEdit->setText("left over");
    dlg.PortEdit->setText("2121");
    FDialogs.Answers = {file};
    dlg.OpenButton->click();
    ASSERT_EQ(FDialogs.Requests.size(), 1u);
    EXPECT_EQ(FDialogs.Requests[0].Title, "Open Profile");
    EXPECT_EQ(FDialogs.Requests[0].Filter, "Tarn Connection Profile|*.tnc");
    EXPECT_EQ(FDialogs.Requests[0].DefaultExt, "tnc");
    EXPECT_EQ(dlg.Profile->text().toStdString(), file);
    EXPECT_EQ(dlg.URLEdit->text(), "as400");
    EXPECT_EQ(dlg.PasswordEdit->text(), "") << "fields the file lacks take the defaults";
    EXPECT_EQ(dlg.PortEdit->text(), "21");

    // Save proposes the current name and writes the fields, which read back the same.
    Fill(dlg);
    dlg.ConnectionEdit->setCurrentText("Mobile");
    const std::string copy = Path("copy.tnc");
    FDialogs.Answers = {copy};
    dlg.SaveButton->click();
    ASSERT_EQ(FDialogs.Requests.size(), 2u);
    EXPECT_EQ(FDialogs.Requests[1].Title, "Save Profile");
    EXPECT_EQ(FDialogs.Requests[1].InitialName, "host.tnc");
    EXPECT_EQ(dlg.Profile->text().toStdString(), copy);
    EXPECT_EQ(ReadConnectionProfile(copy), dlg.Values());
    EXPECT_EQ(ReadConnectionProfile(copy).PassWord, "secret");

    // A cancelled dialog changes nothing; a failed write says so and keeps the old name.
    FDialogs.Answers = {std::nullopt};
    dlg.OpenButton->click();
    EXPECT_EQ(dlg.Profile->text().toStdString(), copy);
    const std::string unwritable = Path("no/such/folder/x.tnc");
    FDialogs.Answers = {unwritable};
    dlg.SaveButton->click();
    EXPECT_EQ(FDialogs.Errors, std::vector<std::string>{"Unable to write to " + unwritable});
    EXPECT_EQ(dlg.Profile->text().toStdString(), copy);

    FDialogs.Answers = {"/chosen/dir"};
    dlg.DownloadButton->click();
    EXPECT_EQ(dlg.Download->text(), "/chosen/dir");
}

TEST_F(LoginDlg, RemembersTheLastProfileAndPrefersTheCommandLine)
{
    TConnectionProfile last;
    last.URLOrIP = "last-host";
    ASSERT_TRUE(WriteConnectionProfile(Path("last.tnc"), last));
    TConnectionProfile given;
    given.URLOrIP = "given-host";
    ASSERT_TRUE(WriteConnectionProfile(Path("given.tnc"), given));
    {
        TLoginDlg dlg(FDialogs);
        dlg.show();
        FDialogs.Answers = {Path("last.tnc")};
        dlg.OpenButton->click();
        dlg.CancelBtn->click();
        EXPECT_EQ(LastProfile(), Path("last.tnc")) << "kept when the dialog closes";
    }
    {
        TLoginDlg dlg(FDialogs);
        dlg.show();
        EXPECT_EQ(dlg.Profile->text().toStdString(), Path("last.tnc"));
        EXPECT_EQ(dlg.URLEdit->text(), "last-host");
    }
    {
        const QString previous = QDir::currentPath();
        QDir::setCurrent(Dir.path());
        TLoginDlg dlg(FDialogs);
        dlg.CommandLineProfile = "given.tnc";
        dlg.show();
        QDir::setCurrent(previous);
        EXPECT_EQ(dlg.Profile->text().toStdString(), Path("given.tnc"));
        EXPECT_EQ(dlg.URLEdit->text(), "given-host");
    }
    EXPECT_EQ(LastProfile(), Path("given.tnc")) << "kept when the dialog is destroyed";
}

// Runs first, while this process has not reached any session bus (ctest runs each case in a
// process of its own anyway): a desktop without a keyring, as over ssh.
TEST_F(LoginDlg, KeyringThatCannotBeReachedIsReported)
{
    if (test::TPrivateKeyring::Started())
        GTEST_SKIP() << "this process is tied to the test keyring's bus; run the case alone";
    QDir(Dir.path()).mkpath("run");
    qputenv("XDG_RUNTIME_DIR", (Dir.path() + "/run").toLocal8Bit());
    for (const char *name : {"DBUS_SESSION_BUS_ADDRESS", "DISPLAY", "WAYLAND_DISPLAY"})
        qunsetenv(name);

    const std::string file = Path("keyring.tnc");
    Write(file, "[Connection]\r\nURLORIP=as400\r\nUSERNAME=QUSER\r\nPASSWORD=\r\n"
                "PASSWORDSTORE=KEYRING\r\n");
    TLoginDlg dlg(FDialogs);
    dlg.CommandLineProfile = file;
    dlg.show();
    EXPECT_TRUE(dlg.RememberPassword->isChecked());
    EXPECT_EQ(dlg.PasswordEdit->text(), "");
    ASSERT_EQ(FDialogs.Errors.size(), 1u);
    EXPECT_EQ(FDialogs.Errors[0].rfind(
                  "No keyring can be reached for the password of QUSER on as400 (", 0),
              0u)
        << FDialogs.Errors[0];

    // Save with the box ticked writes nothing and says how to do without the keyring.
    FDialogs.Errors.clear();
    Fill(dlg);
    const std::string before = Read(file);
    FDialogs.Answers = {file};
    dlg.SaveButton->click();
    ASSERT_EQ(FDialogs.Errors.size(), 1u);
    EXPECT_EQ(FDialogs.Errors[0].rfind("Unable to keep the password in the keyring (", 0), 0u);
    EXPECT_NE(FDialogs.Errors[0].find("untick \"Remember password in the keyring\""),
              std::string::npos);
    EXPECT_EQ(Read(file), before);
}

TEST_F(LoginDlg, RememberedPasswordGoesToTheKeyringAndComesBack)
{
    const test::TPrivateKeyring &keyring = test::TPrivateKeyring::Shared();
    if (!keyring.Missing.empty())
        GTEST_SKIP() << keyring.Missing;
    ASSERT_TRUE(keyring.Error.empty()) << keyring.Error;

    const std::string file = Path("remembered.tnc");
    {
        TLoginDlg dlg(FDialogs);
        dlg.show();
        Fill(dlg);
        dlg.PasswordEdit->setText("in the keyring");
        dlg.RememberPassword->setChecked(true);
        FDialogs.Answers = {file};
        dlg.SaveButton->click();
        EXPECT_TRUE(FDialogs.Errors.empty()) << FDialogs.Errors.front();
    }
    const std::string text = Read(file);
    EXPECT_NE(text.find("\r\nPASSWORD=\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("VERSION=2.x\r\nPASSWORDSTORE=KEYRING\r\n"), std::string::npos) << text;
    EXPECT_EQ(ReadKeyringPassword("as400", "21", "QUSER").Password, "in the keyring");

    // Opened again (as the client does at start), the password is back and Connect goes on.
    TLoginDlg dlg(FDialogs);
    dlg.CommandLineProfile = file;
    dlg.show();
    EXPECT_TRUE(dlg.RememberPassword->isChecked());
    EXPECT_EQ(dlg.PasswordEdit->text(), "in the keyring");
    EXPECT_EQ(dlg.Values().PassWord, "in the keyring");
    EXPECT_TRUE(FDialogs.Errors.empty());

    // Unticked and saved: the password moves into the file and leaves the keyring.
    dlg.RememberPassword->setChecked(false);
    FDialogs.Answers = {file};
    dlg.SaveButton->click();
    EXPECT_EQ(ReadConnectionProfile(file).PassWord, "in the keyring");
    EXPECT_EQ(Read(file).find("PASSWORDSTORE"), std::string::npos);
    EXPECT_EQ(ReadKeyringPassword("as400", "21", "QUSER").Status, ksNotFound);

    // A keyring profile whose login has no entry yet opens with an empty password, no error.
    Write(file, "[Connection]\r\nURLORIP=elsewhere\r\nUSERNAME=QUSER\r\n"
                "PASSWORDSTORE=keyring\r\n");
    FDialogs.Answers = {file};
    dlg.OpenButton->click();
    EXPECT_TRUE(dlg.RememberPassword->isChecked());
    EXPECT_EQ(dlg.PasswordEdit->text(), "");
    EXPECT_TRUE(FDialogs.Errors.empty());
}

} // namespace

} // namespace tarn
