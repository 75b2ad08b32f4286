#pragma once

// A Secret Service of the test's own: a private dbus-daemon session bus (no service
// activation) with gnome-keyring-daemon on it, unlocked with a test password, and HOME and the
// XDG folders in a scratch folder. Starting it points this process's environment at it
// (DBUS_SESSION_BUS_ADDRESS, HOME, XDG_*), so that the keyring calls of the test and of the
// programs the test starts reach it and never the user's own keyring.
//
// A process can talk to one session bus only (the D-Bus libraries keep their first
// connection), so there is one keyring per test process, started on first use and stopped when
// the process ends; the two daemons also die with the process if it crashes.
//
//     const TPrivateKeyring &keyring = TPrivateKeyring::Shared();
//     if (!keyring.Missing.empty()) GTEST_SKIP() << keyring.Missing;
//     ASSERT_TRUE(keyring.Error.empty()) << keyring.Error;

#include <string>
#include <sys/types.h>

namespace tarn::test {

class TPrivateKeyring
{
public:
    static const TPrivateKeyring &Shared();
    // Whether this process has started its keyring (and so is tied to its bus).
    static bool Started();

    // Why the keyring cannot be had here: a program (and the Debian package that brings it)
    // that is not installed. Empty when everything is there.
    std::string Missing;
    // Why starting failed although everything is installed. Empty when the keyring runs.
    std::string Error;
    // The scratch folder that holds HOME and the bus socket.
    std::string Root;

    TPrivateKeyring(const TPrivateKeyring &) = delete;
    TPrivateKeyring &operator=(const TPrivateKeyring &) = delete;

private:
    TPrivateKeyring();
    ~TPrivateKeyring();
    void Start();

    pid_t FBus = -1;
    pid_t FKeyring = -1;
};

} // namespace tarn::test
