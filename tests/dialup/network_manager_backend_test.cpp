#include "dialup/dial_up.h"
#include "dialup/network_manager_backend.h"
#include "tests/common/stand_in_nmcli.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>

namespace tarn {

namespace {

using tarn::test::StandInNmcli;

// Puts the stand-in nmcli first on PATH, with a world of connection profiles of its own.
class NetworkManager : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString bin = Dir.path() + "/bin";
        ASSERT_TRUE(QDir().mkpath(bin));
        std::ofstream(QFile::encodeName(bin + "/nmcli").toStdString()) << StandInNmcli;
        QFile::setPermissions(bin + "/nmcli", QFile::ReadOwner | QFile::ExeOwner);
        OldPath = qgetenv("PATH");
        qputenv("PATH", bin.toLocal8Bit() + ":" + OldPath);
        qputenv("NMCLI_STATE", Dir.path().toLocal8Bit());
        Write("profiles", "Wired connection 1|u-eth|802-3-ethernet\n"
                          "Mobile|u-gsm|gsm\n"
                          "Home Wi-Fi|u-wifi|802-11-wireless\n"
                          "Office: VPN|u-vpn|vpn\n"
                          "DSL|u-dsl|pppoe\n");
        Dialer.DialMode = dmSync;
        Dialer.OnDialing = [this](TDialUp *d) { Events.push_back("dialing " + d->Entry); };
        Dialer.OnConnect = [this](TDialUp *d) { Events.push_back("connect " + d->Entry); };
        Dialer.OnNotConnected = [this](TDialUp *, int code, const std::string &text) {
            Events.push_back("not connected " + std::to_string(code) + " " + text);
        };
        Dialer.OnError = [this](TDialUp *, int code, const std::string &text) {
            Events.push_back("error " + std::to_string(code) + " " + text);
        };
        Dialer.OnActiveConnection = [this](TDialUp *, THRasConn handle, const TRasConnStatusA &,
                                           const std::string &text, const std::string &entry,
                                           const std::string &type, const std::string &device) {
            Handles.push_back(handle);
            Events.push_back("active " + text + " " + entry + " " + type + " " + device);
        };
    }
    void TearDown() override { qputenv("PATH", OldPath); }

    void Write(const char *name, const std::string &text)
    {
        std::ofstream(Dir.path().toStdString() + "/" + name) << text;
    }
    std::string Read(const char *name)
    {
        std::ifstream in(Dir.path().toStdString() + "/" + name);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    QTemporaryDir Dir;
    QByteArray OldPath;
    TDialUp Dialer{std::make_unique<TNetworkManagerBackend>(5)};
    std::vector<std::string> Events;
    std::vector<THRasConn> Handles;
};

TEST_F(NetworkManager, EntriesAreTheDialUpKindsOfProfile)
{
    EXPECT_EQ(Dialer.GetEntries(), 0);
    EXPECT_EQ(Dialer.Entries, (std::vector<std::string>{"Mobile", "Office: VPN", "DSL"}));
}

TEST_F(NetworkManager, DialConnectsListsAndHangsUp)
{
    Dialer.Entry = "Office: VPN";
    EXPECT_EQ(Dialer.Dial(), 0);
    EXPECT_EQ(Read("active"), "u-vpn\n");
    EXPECT_NE(Read("calls").find("--wait 5 connection up uuid u-vpn\n"), std::string::npos);
    EXPECT_EQ(Dialer.GetConnections(), 0);
    EXPECT_EQ(Events, (std::vector<std::string>{"dialing Office: VPN", "connect Office: VPN",
                                                "active Connected Office: VPN vpn dev-vpn"}));
    ASSERT_EQ(Handles.size(), 1u);
    EXPECT_EQ(Handles[0], Dialer.Handle());

    EXPECT_EQ(Dialer.HangUp(), 0);
    EXPECT_EQ(Read("active"), "");
    EXPECT_EQ(Dialer.HangUp(), rrInvalidHandle) << "the line is down already";
}

TEST_F(NetworkManager, FailedDialGivesNmclisReasonAndTakesTheLineDown)
{
    Write("failing", "u-gsm\n");
    Dialer.Entry = "Mobile";
    EXPECT_EQ(Dialer.Dial(), rrDialFailed);
    EXPECT_EQ(Events,
              (std::vector<std::string>{
                  "dialing Mobile",
                  "not connected 651 Error: Connection activation failed: The modem could not be "
                  "found."}));
    const std::string calls = Read("calls");
    EXPECT_NE(calls.find("connection down uuid u-gsm"), std::string::npos) << calls;
}

TEST_F(NetworkManager, MissingEntryIsNeverDialled)
{
    for (const char *entry : {"Nowhere", "Home Wi-Fi", ""}) {
        Events.clear();
        Dialer.Entry = entry;
        EXPECT_EQ(Dialer.Dial(), rrNoSuchEntry) << entry;
        EXPECT_EQ(Events, std::vector<std::string>{"error 623 GetEntryDialParams failed"});
    }
    EXPECT_EQ(Read("calls").find("connection up"), std::string::npos);
}

TEST_F(NetworkManager, AlreadyActiveConnectionIsFoundAndCanBeHungUp)
{
    Write("active", "u-dsl\nu-eth\n");
    EXPECT_EQ(Dialer.GetConnections(), 0);
    EXPECT_EQ(Events, std::vector<std::string>{"active Connected DSL pppoe dev-pppoe"});
    ASSERT_EQ(Handles.size(), 1u);
    EXPECT_NE(Handles[0], 0);
    EXPECT_EQ(Dialer.HangUpConnection(Handles[0]), 0);
    EXPECT_EQ(Read("active"), "u-eth\n");
    EXPECT_EQ(Dialer.HangUpConnection(12345), rrInvalidHandle);

    // The same connection keeps its handle when it comes up again.
    Events.clear();
    Dialer.Entry = "DSL";
    EXPECT_EQ(Dialer.Dial(), 0);
    EXPECT_EQ(Dialer.Handle(), Handles[0]);
}

TEST_F(NetworkManager, AsynchronousDialReportsProgress)
{
    Dialer.DialMode = dmAsync;
    std::vector<std::string> progress;
    Dialer.OnAsyncEvent = [&](TDialUp *, int state, int error, const std::string &text) {
        progress.push_back(std::to_string(state) + " " + std::to_string(error) + " " + text);
    };
    Dialer.Entry = "Mobile";
    EXPECT_EQ(Dialer.Dial(), 0);
    QElapsedTimer clock;
    clock.start();
    while (progress.size() < 2 && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(progress, (std::vector<std::string>{"2 0 Connecting device", "8192 0 Connected"}));
    EXPECT_EQ(Read("active"), "u-gsm\n");
}

TEST_F(NetworkManager, WithoutNetworkManagerLanStillWorks)
{
    Write("stopped", "");
    EXPECT_EQ(Dialer.GetEntries(), 0);
    EXPECT_TRUE(Dialer.Entries.empty());
    EXPECT_EQ(Dialer.GetConnections(), 0);
    Dialer.Entry = "Mobile";
    EXPECT_EQ(Dialer.Dial(), rrNoService);
    EXPECT_EQ(Events, std::vector<std::string>{"error 711 GetEntryDialParams failed"});

    // No nmcli at all.
    qputenv("PATH", QFile::encodeName(Dir.path() + "/empty"));
    TNetworkManagerBackend absent;
    std::vector<std::string> entries;
    EXPECT_EQ(absent.EnumEntries(entries), 0);
    EXPECT_TRUE(entries.empty());
    THRasConn handle = 0;
    EXPECT_EQ(absent.Dial("Mobile", handle, {}), rrNoService);
    EXPECT_NE(absent.ErrorString(rrNoService).find("NetworkManager is not available"),
              std::string::npos);
}

} // namespace

} // namespace tarn
