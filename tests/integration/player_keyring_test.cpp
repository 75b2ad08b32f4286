// Profiles whose password is in the desktop keyring, run by the real tarnsp: against a Secret
// Service of the test's own, and without any keyring as under cron.

#include "profile/connection_profile.h"
#include "profile/password_store.h"
#include "tests/common/private_keyring.h"
#include "tests/integration/player_run.h"

namespace tarn::test {
namespace {

class KeyringRun : public PlayerRunTest
{
protected:
    // profile.tnc for the running server with its password in the keyring.
    void WriteKeyringProfile()
    {
        WriteProfile("/pub", "20", 0, "LAN", "");
        TConnectionProfile profile = ReadConnectionProfile(PathOf("profile.tnc"));
        profile.PasswordStore = psKeyring;
        ASSERT_TRUE(WriteConnectionProfile(PathOf("profile.tnc"), profile));
    }

    std::string Port() const { return std::to_string(FServer->Port()); }

    // The log lines that start with "! ".
    static std::vector<std::string> Notices(const TRunOutcome &Run)
    {
        std::vector<std::string> notices;
        for (const std::string &line : Run.Lines())
            if (line.rfind("! ", 0) == 0)
                notices.push_back(line);
        return notices;
    }
};

TEST_F(KeyringRun, ConnectTakesThePasswordFromTheKeyring)
{
    const TPrivateKeyring &keyring = TPrivateKeyring::Shared();
    if (!keyring.Missing.empty())
        GTEST_SKIP() << keyring.Missing;
    ASSERT_TRUE(keyring.Error.empty()) << keyring.Error;

    const std::string download = BinaryContent(90 * 1024 + 5);
    const std::string upload = BinaryContent(40 * 1024 + 1).substr(3);
    Write(ServerPath("pub/get.bin"), download);
    Write(PathOf("up.bin"), upload);
    StartServer("os400");
    WriteKeyringProfile();
    const std::string file = Read(PathOf("profile.tnc"));
    EXPECT_NE(file.find("\r\nPASSWORD=\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\r\nVERSION=2.x\r\nPASSWORDSTORE=KEYRING\r\n"), std::string::npos) << file;
    ASSERT_TRUE(WriteKeyringPassword("127.0.0.1", Port(), "tester", Password));

    const std::string script = "PROFILE profile.tnc\n"
                               "CONNECT\n"
                               "BINARY\n"
                               "RECEIVE \"got.bin\" \"get.bin\"\n"
                               "SEND \"up.bin\" \"up.bin\"\n"
                               "QUIT\n";
    const TRunOutcome run = Run(script);
    EXPECT_EQ(run.Status, 0) << run.Out << run.Err;
    EXPECT_EQ(Read(PathOf("download/got.bin")), download);
    EXPECT_EQ(Read(ServerPath("pub/up.bin")), upload);
    ExpectNoPassword(run, Password);

    // A script's own PASSWORD line wins over the keyring; a wrong one fails the login.
    ASSERT_TRUE(WriteKeyringPassword("127.0.0.1", Port(), "tester", "not the password"));
    const TRunOutcome wrong = Run("PROFILE profile.tnc\nCONNECT\nQUIT\n");
    EXPECT_EQ(wrong.Status, 1) << wrong.Out;
    const TRunOutcome given =
        Run(std::string("PROFILE profile.tnc\nPASSWORD ") + Password + "\nCONNECT\nQUIT\n");
    EXPECT_EQ(given.Status, 0) << given.Out << given.Err;

    // No entry for this login: one line says so and what to do; nothing is sent.
    ASSERT_TRUE(DeleteKeyringPassword("127.0.0.1", Port(), "tester"));
    const TRunOutcome missing = Run(script);
    EXPECT_EQ(missing.Status, 1) << missing.Out;
    const std::vector<std::string> notices = Notices(missing);
    ASSERT_EQ(notices.size(), 1u) << missing.Out;
    EXPECT_EQ(notices[0].rfind(
                  "! The keyring holds no password for tester on 127.0.0.1 port " + Port(), 0),
              0u)
        << notices[0];
    EXPECT_NE(notices[0].find("tarnsp --write-profile profile.tnc"), std::string::npos);
    EXPECT_EQ(missing.LineStarting("> USER"), -1) << missing.Out;
}

// Under cron there is no session bus: CONNECT fails at once with one line that says why and
// how to keep the password in the profile, and the run ends with status 1.
TEST_F(KeyringRun, WithoutAKeyringConnectSaysHowToDoWithout)
{
    StartServer("unix");
    WriteKeyringProfile();
    std::filesystem::create_directories(PathOf("run"));
    FEnvironment.push_back({"XDG_RUNTIME_DIR", PathOf("run")});
    FRemovedEnvironment = {"DBUS_SESSION_BUS_ADDRESS", "DISPLAY", "WAYLAND_DISPLAY"};

    const TRunOutcome run = Run("PROFILE profile.tnc\nCONNECT\nLOCALMD never\nQUIT\n", 60);
    EXPECT_EQ(run.Status, 1) << run.Out << run.Err;
    EXPECT_LT(run.Seconds, 20) << "no waiting for a keyring that is not there";
    const std::vector<std::string> notices = Notices(run);
    ASSERT_EQ(notices.size(), 1u) << run.Out;
    EXPECT_EQ(notices[0].rfind("! No keyring can be reached for the password of tester on "
                               "127.0.0.1 port " +
                                   Port() + " (",
                               0),
              0u)
        << notices[0];
    EXPECT_NE(notices[0].find("to keep the password in the profile instead, run \"tarnsp "
                              "--write-profile profile.tnc\""),
              std::string::npos)
        << notices[0];
    EXPECT_EQ(run.LineStarting("> USER"), -1) << run.Out;
    EXPECT_FALSE(Exists(PathOf("never"))) << "the run stopped at CONNECT";
}

} // namespace
} // namespace tarn::test
