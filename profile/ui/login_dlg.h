#pragma once

#include "profile/connection_profile.h"
#include "support/user_dialogs.h"

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace tarn {

// The login dialog "Tarn Login": the fields of one FTP session, kept in connection profiles.
//
//     TWidgetDialogs dialogs(this);
//     TLoginDlg dlg(dialogs, this);
//     dlg.SetConnections(RasDial->Entries);            // "LAN" first, then the dial-up entries
//     if (argc > 1) dlg.CommandLineProfile = argv[1];
//     if (dlg.exec() == QDialog::Accepted) { use dlg.Values(), dlg.LibraryListFile ... }
//
// At show, the last profile used (the settings value Profile_Caption) is read, then the
// command-line profile when there is one. Open and Save read and write profiles through file
// dialogs; Connect checks that URL, user, password, both directories, port and time-out are
// filled, and otherwise says "Login information is incomplete!" and closes with Cancel, so that
// nothing is attempted. The profile name shown in `Profile` is kept as the last profile when
// the dialog closes and again when it is destroyed.
//
// With "Remember password in the keyring" ticked, Save puts the password into the desktop
// keyring (profile/password_store.h) and the profile gets PASSWORDSTORE=KEYRING and an empty
// PASSWORD; reading such a profile fills the password from the keyring. Saving with the box
// unticked over a keyring profile keeps the password in the file and removes it from the
// keyring. A keyring that cannot be reached is reported as an error; Save then writes nothing.
//
// "Passive mode" and "Security" (None, Explicit (AUTH TLS), Implicit TLS) are the profile's
// PASSIVE and SECURITY; its TLSFINGERPRINT has no field and is kept as read. A profile whose
// values for them are not understood is reported when it is read, its Security shows no
// choice, and Connect refuses it until one is made: such a profile never quietly becomes a
// clear-text session. With Implicit TLS the port may be left empty (990).
//
// Every message and file dialog goes through the TUserDialogs given at construction.
class TLoginDlg : public QDialog
{
public:
    explicit TLoginDlg(TUserDialogs &Dialogs, QWidget *Parent = nullptr);
    ~TLoginDlg() override;

    QGroupBox *ProfileGroup;
    QLabel *Profile; // the full name of the current profile file, "" when none
    QPushButton *OpenButton;
    QPushButton *SaveButton;
    QLineEdit *URLEdit;
    QLineEdit *UserEdit;
    QLineEdit *PasswordEdit;
    QLineEdit *LoginLibrary; // typed in upper case
    QLineEdit *Download;
    QToolButton *DownloadButton;
    QLineEdit *PortEdit;
    QLineEdit *TimeoutEdit;
    QComboBox *ConnectionEdit;
    QCheckBox *RememberPassword; // "Remember password in the keyring"
    QCheckBox *PassiveMode;      // "Passive mode"
    QComboBox *SecurityEdit;     // "Security": the items in TFtpSecurity's order
    QPushButton *OKBtn;
    QPushButton *CancelBtn;

    // The client's first command-line argument, read at show after the last profile.
    std::optional<std::string> CommandLineProfile;
    // Set by a valid Connect: the library list file of the profile (LibraryListFileName).
    std::string LibraryListFile;

    // Fills the connection list: "LAN" first, then the given dial-up entry names.
    void SetConnections(const std::vector<std::string> &DialUpEntries);

    // The fields as a profile, and back.
    TConnectionProfile Values() const;
    void SetValues(const TConnectionProfile &Source);
    std::string ProfileName() const;

    // Fills every field from a profile file, defaults for what it lacks, the password of a
    // keyring profile from the keyring.
    void ReadProfile(const std::string &FileName);
    // Writes the fields to a profile file, and the password to the keyring when the box is
    // ticked; false, after saying why, when either cannot be written.
    bool WriteProfile(const std::string &FileName);

    void OpenButtonClick();
    void SaveButtonClick();
    void OKBtnClick();
    void DownloadButtonClick();
    void FormShow();
    void LastProfileRestorePlacement();

protected:
    void showEvent(QShowEvent *Event) override;
    void done(int Result) override;

private:
    void SetProfileName(const std::string &FileName);
    void SecurityEditChange();
    void SaveLastProfile() const;
    void RestoreLastProfile();

    TUserDialogs &FDialogs;
    // What the profile read last holds for SECURITY when it is not understood (the field then
    // shows no choice), and its TLSFINGERPRINT.
    std::string FSecurityText;
    std::string FTlsFingerprint;
};

} // namespace tarn
