#pragma once

#include <string>

namespace tarn {

// Login passwords in the desktop keyring (the Secret Service of GNOME Keyring, KWallet or any
// other that QtKeychain reaches), one per server login: the entry of host H, port P and user U
// is the key "U@H:P" of the service "Tarn", and holds the password's bytes unchanged. The three
// texts are used as the profile holds them (no case folding, no name lookup), so a profile
// finds the entry it was saved with.
//
// Every call is synchronous: it runs a local Qt event loop until the keyring answers, at most
// KeyringTimeoutSeconds (a keyring that asks its user to unlock it waits for that person), and
// needs a QCoreApplication. Without a D-Bus session bus (a cron job, a login over ssh) or with
// no keyring service on it, a call fails with ksUnreachable at once.
//
// The keyring's code is a module, loaded on the first call (profile/keyring_module.h). When it
// cannot be loaded, every call fails with ksUnreachable and a Reason that names the module.
enum TKeyringStatus {
    ksDone,        // read: the password was found; write, delete: done
    ksNotFound,    // the keyring has no entry for this login
    ksUnreachable, // no keyring could be asked, or it refused: Reason says why
};

struct TKeyringResult
{
    TKeyringStatus Status = ksDone;
    std::string Password; // what a read found
    std::string Reason;   // for ksUnreachable: the keyring's own words, one line

    explicit operator bool() const { return Status == ksDone; }
};

constexpr int KeyringTimeoutSeconds = 60;

// The entry's key: "USER@HOST:PORT".
std::string KeyringKey(const std::string &Host, const std::string &Port, const std::string &User);

TKeyringResult ReadKeyringPassword(const std::string &Host, const std::string &Port,
                                   const std::string &User);
// Replaces the entry's password, or makes the entry.
TKeyringResult WriteKeyringPassword(const std::string &Host, const std::string &Port,
                                    const std::string &User, const std::string &Password);
TKeyringResult DeleteKeyringPassword(const std::string &Host, const std::string &Port,
                                     const std::string &User);

} // namespace tarn
