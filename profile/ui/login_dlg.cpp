#include "profile/ui/login_dlg.h"

#include "profile/password_store.h"
#include "support/settings_store.h"
#include "support/text.h"
#include "support/ui/local_text.h"
#include "support/ui/upper_case_validator.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace tarn {

namespace {

const char *const LastProfileValue = "Profile_Caption";
const char *const ProfileFilter = "Tarn Connection Profile|*.tnc";
const char *const RememberText = "Remember password in the keyring";
const char *const PassiveText = "Passive mode";
const char *const SecurityText = "Security";
// The port a session with implicit TLS takes when none is given.
const char *const ImplicitPort = "990";
const char *const PlainPort = "21";

TFtpSecurity SecurityAt(int Index)
{
    return static_cast<TFtpSecurity>(Index);
}

} // namespace

TLoginDlg::TLoginDlg(TUserDialogs &Dialogs, QWidget *Parent) : QDialog(Parent), FDialogs(Dialogs)
{
    setWindowTitle("Tarn Login");

    ProfileGroup = new QGroupBox("Profile", this);
    Profile = new QLabel(ProfileGroup);
    Profile->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Profile->setMinimumWidth(320);
    OpenButton = new QPushButton("Open", ProfileGroup);
    SaveButton = new QPushButton("Save", ProfileGroup);
    auto *profileLayout = new QHBoxLayout(ProfileGroup);
    profileLayout->addWidget(Profile, 1);
    profileLayout->addWidget(OpenButton);
    profileLayout->addWidget(SaveButton);

    URLEdit = new QLineEdit(this);
    UserEdit = new QLineEdit(this);
    PasswordEdit = new QLineEdit(this);
    PasswordEdit->setEchoMode(QLineEdit::Password);
    PasswordEdit->setStyleSheet("lineedit-password-character: 42");
    LoginLibrary = new QLineEdit(this);
    LoginLibrary->setValidator(new TUpperCaseValidator(LoginLibrary));
    Download = new QLineEdit(this);
    DownloadButton = new QToolButton(this);
    DownloadButton->setText("...");
    DownloadButton->setToolTip("Choose the download directory");
    PortEdit = new QLineEdit("21", this);
    TimeoutEdit = new QLineEdit("30", this);
    ConnectionEdit = new QComboBox(this);
    ConnectionEdit->setEditable(true);
    ConnectionEdit->setInsertPolicy(QComboBox::NoInsert);
    ConnectionEdit->setCurrentText("LAN");

    auto *fields = new QGridLayout;
    int row = 0;
    auto addRow = [&](const char *Label, QWidget *Field, QWidget *After = nullptr) {
        auto *caption = new QLabel(Label, this);
        caption->setBuddy(Field);
        fields->addWidget(caption, row, 0);
        if (After) {
            auto *line = new QHBoxLayout;
            line->addWidget(Field, 1);
            line->addWidget(After);
            fields->addLayout(line, row, 1);
        } else {
            fields->addWidget(Field, row, 1);
        }
        ++row;
    };
    addRow("URL or IP Address:", URLEdit);
    addRow("Username:", UserEdit);
    addRow("Password:", PasswordEdit);
    addRow("Initial Directory:", LoginLibrary);
    addRow("Download Directory:", Download, DownloadButton);
    addRow("Port:", PortEdit);
    TimeoutEdit->setMaximumWidth(80);
    addRow("Timeout:", TimeoutEdit, new QLabel("seconds", this));
    addRow("Connection:", ConnectionEdit);
    RememberPassword = new QCheckBox(RememberText, this);
    RememberPassword->setAccessibleName(RememberText);
    fields->addWidget(RememberPassword, row++, 1);
    PassiveMode = new QCheckBox(PassiveText, this);
    PassiveMode->setAccessibleName(PassiveText);
    PassiveMode->setToolTip("The client opens the data connections (PASV): needed behind most "
                            "firewalls and NAT routers");
    fields->addWidget(PassiveMode, row++, 1);
    SecurityEdit = new QComboBox(this);
    SecurityEdit->addItems({"None", "Explicit (AUTH TLS)", "Implicit TLS"});
    SecurityEdit->setAccessibleName(SecurityText);
    addRow("Security:", SecurityEdit);

    OKBtn = new QPushButton("Connect", this);
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton("Cancel", this);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(ProfileGroup);
    layout->addLayout(fields);
    layout->addLayout(buttons);

    // The controls' names, for style sheets, accessibility tools and tests.
    const std::pair<QObject *, const char *> names[] = {{ProfileGroup, "ProfileGroup"},
                                                        {Profile, "Profile"},
                                                        {OpenButton, "OpenButton"},
                                                        {SaveButton, "SaveButton"},
                                                        {URLEdit, "URLEdit"},
                                                        {UserEdit, "UserEdit"},
                                                        {PasswordEdit, "PasswordEdit"},
                                                        {LoginLibrary, "LoginLibrary"},
                                                        {Download, "Download"},
                                                        {DownloadButton, "DownloadButton"},
                                                        {PortEdit, "PortEdit"},
                                                        {TimeoutEdit, "TimeoutEdit"},
                                                        {ConnectionEdit, "ConnectionEdit"},
                                                        {RememberPassword, "RememberPassword"},
                                                        {PassiveMode, "PassiveMode"},
                                                        {SecurityEdit, "SecurityEdit"},
                                                        {OKBtn, "OKBtn"},
                                                        {CancelBtn, "CancelBtn"}};
    for (const auto &[control, name] : names)
        control->setObjectName(name);

    QWidget *order[] = {URLEdit,        UserEdit,         PasswordEdit, LoginLibrary,
                        Download,       DownloadButton,   PortEdit,     TimeoutEdit,
                        ConnectionEdit, RememberPassword, PassiveMode,  SecurityEdit,
                        OKBtn,          CancelBtn,        OpenButton,   SaveButton};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
    URLEdit->setFocus();

    connect(OpenButton, &QPushButton::clicked, this, [this] { OpenButtonClick(); });
    connect(SaveButton, &QPushButton::clicked, this, [this] { SaveButtonClick(); });
    connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(DownloadButton, &QToolButton::clicked, this, [this] { DownloadButtonClick(); });
    // The user's choice of implicit TLS moves a default port to 990, and back.
    connect(SecurityEdit, &QComboBox::activated, this, [this] {
        const bool implicit = SecurityEdit->currentIndex() == int(TFtpSecurity::scImplicit);
        if (PortEdit->text() == (implicit ? PlainPort : ImplicitPort))
            PortEdit->setText(implicit ? ImplicitPort : PlainPort);
        SecurityEditChange();
    });
}

TLoginDlg::~TLoginDlg()
{
    SaveLastProfile();
}

void TLoginDlg::SetConnections(const std::vector<std::string> &DialUpEntries)
{
    const QString current = ConnectionEdit->currentText();
    ConnectionEdit->clear();
    ConnectionEdit->addItem("LAN");
    for (const std::string &entry : DialUpEntries)
        ConnectionEdit->addItem(FromLocal(entry));
    ConnectionEdit->setCurrentText(current);
}

TConnectionProfile TLoginDlg::Values() const
{
    TConnectionProfile profile;
    profile.Connection = ToLocal(ConnectionEdit->currentText());
    profile.URLOrIP = ToLocal(URLEdit->text());
    profile.UserName = ToLocal(UserEdit->text());
    profile.PassWord = ToLocal(PasswordEdit->text());
    profile.Port = ToLocal(PortEdit->text());
    profile.Timeout = ToLocal(TimeoutEdit->text());
    profile.LocalDir = ToLocal(Download->text());
    profile.HostDir = ToLocal(LoginLibrary->text());
    profile.PasswordStore = RememberPassword->isChecked() ? psKeyring : psProfile;
    // (A std::string, not a literal: GCC 12 warns wrongly of an overlap for the literal.)
    profile.Passive = std::string(PassiveMode->isChecked() ? "1" : "0");
    const int security = SecurityEdit->currentIndex();
    profile.Security = security < 0 ? FSecurityText : SecurityKeyword(SecurityAt(security));
    profile.TlsFingerprint = FTlsFingerprint;
    return profile;
}

void TLoginDlg::SetValues(const TConnectionProfile &Source)
{
    ConnectionEdit->setCurrentText(FromLocal(Source.Connection));
    URLEdit->setText(FromLocal(Source.URLOrIP));
    UserEdit->setText(FromLocal(Source.UserName));
    PasswordEdit->setText(FromLocal(Source.PassWord));
    PortEdit->setText(FromLocal(Source.Port));
    TimeoutEdit->setText(FromLocal(Source.Timeout));
    Download->setText(FromLocal(Source.LocalDir));
    LoginLibrary->setText(FromLocal(Source.HostDir));
    RememberPassword->setChecked(Source.PasswordStore == psKeyring);
    PassiveMode->setChecked(Source.Passive == "1");
    FTlsFingerprint = Source.TlsFingerprint;
    // A SECURITY that is not understood shows no choice, so that it is not saved or used as
    // if it were "None".
    const std::string keyword = UpperCaseAscii(Trim(Source.Security, tsBlanks));
    FSecurityText = Source.Security;
    int index = keyword.empty() ? 0 : -1;
    for (int i = 0; i < SecurityEdit->count(); ++i)
        if (keyword == SecurityKeyword(SecurityAt(i)))
            index = i;
    SecurityEdit->setCurrentIndex(index);
    SecurityEditChange();
}

void TLoginDlg::SecurityEditChange()
{
    const bool implicit = SecurityEdit->currentIndex() == int(TFtpSecurity::scImplicit);
    PortEdit->setPlaceholderText(implicit ? ImplicitPort : PlainPort);
}

std::string TLoginDlg::ProfileName() const
{
    return ToLocal(Profile->text());
}

void TLoginDlg::SetProfileName(const std::string &FileName)
{
    Profile->setText(FromLocal(FileName));
}

void TLoginDlg::ReadProfile(const std::string &FileName)
{
    TConnectionProfile profile = ReadConnectionProfile(FileName);
    if (profile.PasswordStore == psKeyring) {
        const TKeyringResult found =
            ReadKeyringPassword(profile.URLOrIP, profile.Port, profile.UserName);
        profile.PassWord = found.Password;
        // No entry yet: the password field stays empty for the user to fill in and save.
        if (found.Status == ksUnreachable)
            FDialogs.Error("No keyring can be reached for the password of " + profile.UserName +
                           " on " + profile.URLOrIP + " (" + found.Reason +
                           "). Type the password in; to keep it in the profile instead, untick \"" +
                           RememberText + "\" and save the profile.");
    }
    SetValues(profile);
    const std::string problem = ConnectionSecurity(profile).Problem;
    if (!problem.empty())
        FDialogs.Error("The profile " + FileName + " cannot be used as it stands: " + problem +
                       " No session is opened with it until that is mended.");
}

bool TLoginDlg::WriteProfile(const std::string &FileName)
{
    const TConnectionProfile profile = Values();
    const TConnectionProfile before = ReadConnectionProfile(FileName);
    if (profile.PasswordStore == psKeyring) {
        const TKeyringResult stored =
            WriteKeyringPassword(profile.URLOrIP, profile.Port, profile.UserName, profile.PassWord);
        if (!stored) {
            FDialogs.Error("Unable to keep the password in the keyring (" + stored.Reason +
                           "). To keep it in the profile instead, untick \"" + RememberText +
                           "\" and save again.");
            return false;
        }
    }
    if (!WriteConnectionProfile(FileName, profile)) {
        FDialogs.Error("Unable to write to " + FileName);
        return false;
    }
    // The password moved out of the keyring: the entry this file used is forgotten. (A
    // keyring that cannot be reached keeps it; the profile no longer needs it either way.)
    if (profile.PasswordStore == psProfile && before.PasswordStore == psKeyring)
        DeleteKeyringPassword(before.URLOrIP, before.Port, before.UserName);
    return true;
}

void TLoginDlg::OpenButtonClick()
{
    const std::optional<std::string> chosen =
        FDialogs.OpenFileName({"Open Profile", ProfileFilter, "tnc", {}});
    if (!chosen)
        return;
    SetProfileName(*chosen);
    ReadProfile(*chosen);
}

void TLoginDlg::SaveButtonClick()
{
    const std::string current = ProfileName();
    const std::string namePart = current.substr(current.rfind('/') + 1);
    const std::optional<std::string> chosen =
        FDialogs.SaveFileName({"Save Profile", ProfileFilter, "tnc", namePart});
    if (!chosen)
        return;
    if (!WriteProfile(*chosen))
        return;
    SetProfileName(*chosen);
}

void TLoginDlg::OKBtnClick()
{
    const TConnectionSecurity security = ConnectionSecurity(Values());
    // Implicit TLS has a port of its own (990) when none is given.
    const bool portOptional =
        security.Problem.empty() && security.Security == TFtpSecurity::scImplicit;
    const QLineEdit *required[] = {URLEdit,  UserEdit, PasswordEdit, LoginLibrary,
                                   PortEdit, Download, TimeoutEdit};
    for (const QLineEdit *field : required) {
        if (field->text().isEmpty() && !(field == PortEdit && portOptional)) {
            FDialogs.Error("Login information is incomplete!");
            reject();
            return;
        }
    }
    if (!security.Problem.empty()) {
        FDialogs.Error("The profile cannot be used as it stands: " + security.Problem +
                       " No session is opened with it until that is mended.");
        return;
    }
    LibraryListFile = LibraryListFileName(ProfileName());
    accept();
}

void TLoginDlg::DownloadButtonClick()
{
    const std::optional<std::string> chosen =
        FDialogs.DirectoryName("Download Directory", ToLocal(Download->text()));
    if (chosen)
        Download->setText(FromLocal(*chosen));
}

void TLoginDlg::FormShow()
{
    if (!CommandLineProfile)
        return;
    // The name is kept absolute, so that the library list beside it and a recorded script's
    // PROFILE line still find it after the client has changed its current directory.
    const QString given = FromLocal(*CommandLineProfile);
    const std::string fileName =
        given.isEmpty() ? std::string() : ToLocal(QFileInfo(given).absoluteFilePath());
    SetProfileName(fileName);
    ReadProfile(fileName);
}

void TLoginDlg::LastProfileRestorePlacement()
{
    ReadProfile(ProfileName());
}

void TLoginDlg::SaveLastProfile() const
{
    OpenSettingsStore()->setValue(LastProfileValue, Profile->text());
}

void TLoginDlg::RestoreLastProfile()
{
    Profile->setText(OpenSettingsStore()->value(LastProfileValue).toString());
}

void TLoginDlg::showEvent(QShowEvent *Event)
{
    if (!Event->spontaneous()) {
        if (QScreen *display = screen())
            move(display->availableGeometry().center() - rect().center());
        RestoreLastProfile();
        LastProfileRestorePlacement();
        FormShow();
    }
    QDialog::showEvent(Event);
}

void TLoginDlg::done(int Result)
{
    SaveLastProfile();
    QDialog::done(Result);
}

} // namespace tarn
