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
        const QString bin = FDir.path() + "/bin";
        ASSERT_TRUE(QDir().mkpath(bin));
        std::ofstream(QFile::encodeName(bin + "/nmcli").toStdString()) << StandInNmcli;
        QFile::setPermissions(bin + "/nmcli", QFile::ReadOwner | QFile::ExeOwner);
        FOldPath = qgetenv("PATH");
        qputenv("PATH", bin.toLocal8Bit() + ":" + FOldPath);
        qputenv("NMCLI_STATE", FDir.path().toLocal8Bit());
        Write("profiles", "Wired connection 1|u-eth|802-3-ethernet\n"
                          "Mobile|u-gsm|gsm\n"
                          "Home Wi-Fi|u-wifi|802-11-wireless\n"
                          "Office: VPN|u-vpn|vpn\n"
                          "DSL|u-dsl|pppoe\n");
        FDialer.DialMode = dmSync;
        FDialer.OnDialing = [this](TDialUp *D) { FEvents.push_back("dialing " + D->Entry); };
        FDialer.OnConnect = [this](TDialUp *D) { FEvents.push_back("connect " + D->Entry); };
        FDialer.OnNotConnected = [this](TDialUp *, int Code, const std::string &Text) {
            FEvents.push_back("not connected " + std::to_string(Code) + " " + Text);
        };
        FDialer.OnError = [this](TDialUp *, int Code, const std::string &Text) {
            FEvents.push_back("error " + std::to_string(Code) + " " + Text);
        };
        FDialer.OnActiveConnection = [this](TDialUp *, THRasConn Handle, const TRasConnStatusA &,
                                            const std::string &Text, const std::string &Entry,
                                            const std::string &Type, const std::string &Device) {
            FHandles.push_back(Handle);
            FEvents.push_back("active " + Text + " " + Entry + " " + Type + " " + Device);
        };
    }
    void TearDown() override { qputenv("PATH", FOldPath); }

    void Write(const char *Name, const std::string &Text)
    {
        std::ofstream(FDir.path().toStdString() + "/" + Name) << Text;
    }
    std::string Read(const char *Name)
    {
        std::ifstream in(FDir.path().toStdString() + "/" + Name);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    QTemporaryDir FDir;
    QByteArray FOldPath;
    TDialUp FDialer{std::make_unique<TNetworkManagerBackend>(5)};
    std::vector<std::string> FEvents;
    std::vector<THRasConn> FHandles;
};

TEST_F(NetworkManager, EntriesAreTheDialUpKindsOfProfile)
{
    EXPECT_EQ(FDialer.GetEntries(), 0);
    EXPECT_EQ(FDialer.Entries, (std::vector<std::string>{"Mobile", "Office: VPN", "DSL"}));
}

TEST_F(NetworkManager, DialConnectsListsAndHangsUp)
{
    FDialer.Entry = "Office: VPN";
    EXPECT_EQ(FDialer.Dial(), 0);
    EXPECT_EQ(Read("active"), "u-vpn\n");
    EXPECT_NE(Read("calls").find("--wait 5 connection up uuid u-vpn\n"), std::string::npos);
    EXPECT_EQ(FDialer.GetConnections(), 0);
    EXPECT_EQ(FEvents, (std::vector<std::string>{"dialing Office: VPN", "connect Office: VPN",
                                                 "active Connected Office: VPN vpn dev-vpn"}));
    ASSERT_EQ(FHandles.size(), 1u);
    EXPECT_EQ(FHandles[0], FDialer.Handle());

    EXPECT_EQ(FDialer.HangUp(), 0);
    EXPECT_EQ(Read("active"), "");
    EXPECT_EQ(FDialer.HangUp(), rrInvalidHandle) << "the line is down already";
}

TEST_F(NetworkManager, FailedDialGivesNmclisReasonAndTakesTheLineDown)
{
    Write("failing", "u-gsm\n");
    FDialer.Entry = "Mobile";
    EXPECT_EQ(FDialer.Dial(), rrDialFailed);
    EXPECT_EQ(FEvents,
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
        FEvents.clear();
        FDialer.Entry = entry;
        EXPECT_EQ(FDialer.Dial(), rrNoSuchEntry) << entry;
        EXPECT_EQ(FEvents, std::vector<std::string>{"error 623 GetEntryDialParams failed"});
    }
    EXPECT_EQ(Read("calls").find("connection up"), std::string::npos);
}

TEST_F(NetworkManager, AlreadyActiveConnectionIsFoundAndCanBeHungUp)
{
    Write("active", "u-dsl\nu-eth\n");
    EXPECT_EQ(FDialer.GetConnections(), 0);
    EXPECT_EQ(FEvents, std::vector<std::string>{"active Connected DSL pppoe dev-pppoe"});
    ASSERT_EQ(FHandles.size(), 1u);
    EXPECT_NE(FHandles[0], 0);
    EXPECT_EQ(FDialer.HangUpConnection(FHandles[0]), 0);
    EXPECT_EQ(Read("active"), "u-eth\n");
    EXPECT_EQ(FDialer.HangUpConnection(12345), rrInvalidHandle);

    // The same connection keeps its handle when it comes up again.
    FEvents.clear();
    FDialer.Entry = "DSL";
    EXPECT_EQ(FDialer.Dial(), 0);
    EXPECT_EQ(FDialer.Handle(), FHandles[0]);
}

TEST_F(NetworkManager, AsynchronousDialReportsProgress)
{
    FDialer.DialMode = dmAsync;
    std::vector<std::string> progress;
    FDialer.OnAsyncEvent = [&](TDialUp *, int State, int Error, const std::string &Text) {
        progress.push_back(std::to_string(State) + " " + std::to_string(Error) + " " + Text);
    };
    FDialer.Entry = "Mobile";
    EXPECT_EQ(FDialer.Dial(), 0);
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
    EXPECT_EQ(FDialer.GetEntries(), 0);
    EXPECT_TRUE(FDialer.Entries.empty());
    EXPECT_EQ(FDialer.GetConnections(), 0);
    FDialer.Entry = "Mobile";
    EXPECT_EQ(FDialer.Dial(), rrNoService);
    EXPECT_EQ(FEvents, std::vector<std::string>{"error 711 GetEntryDialParams failed"});

    // No nmcli at all.
    qputenv("PATH", QFile::encodeName(FDir.path() + "/empty"));
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
