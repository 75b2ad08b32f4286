#include "tests/common/private_keyring.h"

#include <QProcess>
#include <QStandardPaths>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tarn::test {

namespace {

const char *const UnlockPassword = "keyring-test-password";
bool KeyringStarted = false;

std::string FindProgram(const char *Name)
{
    return QStandardPaths::findExecutable(Name).toStdString();
}

// Starts `Arguments` with standard input from `InFd` and standard output to `OutFd` (-1: the
// null device), to be killed when this process ends.
pid_t Spawn(const std::vector<std::string> &Arguments, int InFd, int OutFd)
{
    std::vector<char *> argv;
    for (const std::string &argument : Arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        ::dup2(InFd >= 0 ? InFd : null, 0);
        ::dup2(OutFd >= 0 ? OutFd : null, 1);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(null);
    return child;
}

void Stop(pid_t Pid)
{
    if (Pid <= 0)
        return;
    ::kill(Pid, SIGTERM);
    ::waitpid(Pid, nullptr, 0);
}

} // namespace

const TPrivateKeyring &TPrivateKeyring::Shared()
{
    static TPrivateKeyring keyring;
    return keyring;
}

bool TPrivateKeyring::Started()
{
    return KeyringStarted;
}

TPrivateKeyring::TPrivateKeyring()
{
    KeyringStarted = true;
    Start();
}

TPrivateKeyring::~TPrivateKeyring()
{
    Stop(FKeyring);
    Stop(FBus);
    if (!Root.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(Root, ignored);
    }
}

void TPrivateKeyring::Start()
{
    const std::string busDaemon = FindProgram("dbus-daemon");
    const std::string busSend = FindProgram("dbus-send");
    const std::string keyringDaemon = FindProgram("gnome-keyring-daemon");
    if (busDaemon.empty() || busSend.empty())
        Missing = "dbus-daemon and dbus-send are not installed (Debian package dbus)";
    else if (keyringDaemon.empty())
        Missing = "gnome-keyring-daemon is not installed (Debian package gnome-keyring)";
    if (!Missing.empty())
        return;

    char folder[] = "/tmp/tarn-keyring-XXXXXX";
    if (!::mkdtemp(folder)) {
        Error = std::string("cannot make a scratch folder: ") + std::strerror(errno);
        return;
    }
    Root = folder;
    const std::string home = Root + "/home";
    const std::string runtime = Root + "/run";
    std::filesystem::create_directories(home + "/.local/share");
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    std::ofstream(Root + "/bus.conf")
        << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n"
           "  <type>session</type>\n"
           "  <listen>unix:dir="
        << runtime
        << "</listen>\n"
           "  <auth>EXTERNAL</auth>\n"
           "  <policy context=\"default\">\n"
           "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
           "    <allow eavesdrop=\"true\"/>\n"
           "    <allow own=\"*\"/>\n"
           "  </policy>\n"
           "</busconfig>\n";

    // The bus, without activation: nothing but the daemon started below can own the secrets.
    int addressPipe[2];
    if (::pipe2(addressPipe, O_CLOEXEC) != 0) {
        Error = "cannot make a pipe";
        return;
    }
    FBus =
        Spawn({busDaemon, "--config-file=" + Root + "/bus.conf", "--nofork", "--print-address=1"},
              -1, addressPipe[1]);
    ::close(addressPipe[1]);
    std::string address;
    char c;
    while (::read(addressPipe[0], &c, 1) == 1 && c != '\n')
        address += c;
    ::close(addressPipe[0]);
    if (address.empty()) {
        Error = "dbus-daemon did not start";
        return;
    }

    ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (home + "/.cache").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    // A desktop named here would make the keychain library look for KWallet first.
    ::unsetenv("XDG_CURRENT_DESKTOP");
    ::unsetenv("KDE_FULL_SESSION");

    // The keyring daemon reads the unlock password from its standard input; a new login
    // keyring is made with it.
    int passwordPipe[2];
    if (::pipe2(passwordPipe, O_CLOEXEC) != 0) {
        Error = "cannot make a pipe";
        return;
    }
    FKeyring = Spawn({keyringDaemon, "--foreground", "--unlock", "--components=secrets"},
                     passwordPipe[0], -1);
    ::close(passwordPipe[0]);
    [[maybe_unused]] const ssize_t written =
        ::write(passwordPipe[1], UnlockPassword, std::strlen(UnlockPassword));
    ::close(passwordPipe[1]);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        QProcess ask;
        ask.start(QString::fromStdString(busSend),
                  {"--session", "--print-reply", "--dest=org.freedesktop.DBus",
                   "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                   "string:org.freedesktop.secrets"});
        if (ask.waitForFinished(5000) && ask.readAllStandardOutput().contains("boolean true"))
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Error = "gnome-keyring-daemon did not take the Secret Service name within 20 s";
}

} // namespace tarn::test
