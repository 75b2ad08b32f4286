// Passive mode and TLS in the real tarnsp: the profile's PASSIVE, SECURITY and TLSFINGERPRINT
// against tools/testftpd with TLS, and a certificate that cannot be verified, which the player
// never asks about: it is accepted only when pinned or trusted, else CONNECT fails with the line
// that would pin it. Last, the whole road against vsftpd with TLS.

#include "profile/connection_profile.h"
#include "tests/integration/player_run.h"

#include <QProcess>
#include <cerrno>
#include <dlfcn.h>
#include <link.h>
#include <map>
#include <sched.h>
#include <sys/mount.h>
#include <system_error>

namespace tarn::test {
namespace {

class TlsRun : public PlayerRunTest
{
protected:
    // profile.tnc for the running server, with the three keys.
    void WriteTlsProfile(const std::string &Security, bool Passive, const std::string &Pin = {})
    {
        WriteProfile("/");
        TConnectionProfile profile = ReadConnectionProfile(PathOf("profile.tnc"));
        profile.Security = Security;
        profile.Passive = Passive ? "1" : "0";
        profile.TlsFingerprint = Pin;
        ASSERT_TRUE(WriteConnectionProfile(PathOf("profile.tnc"), profile));
    }

    // A download and an upload in binary; both files compared byte for byte.
    TRunOutcome RunTransfers()
    {
        Write(ServerPath("get.bin"), FDownload);
        Write(PathOf("up.bin"), FUpload);
        return Run("PROFILE profile.tnc\n"
                   "CONNECT\n"
                   "BINARY\n"
                   "RECEIVE \"got.bin\" \"get.bin\"\n"
                   "SEND \"up.bin\" \"up.bin\"\n"
                   "QUIT\n");
    }

    void ExpectTransfersDone(const TRunOutcome &Outcome)
    {
        EXPECT_EQ(Outcome.Status, 0) << Outcome.Out << Outcome.Err;
        EXPECT_TRUE(Read(PathOf("download/got.bin")) == FDownload) << "download differs";
        EXPECT_TRUE(Read(ServerPath("up.bin")) == FUpload) << "upload differs";
        ExpectNoPassword(Outcome, Password);
    }

    // The refusal line: the fingerprint, and the profile line that would pin it.
    void ExpectRefused(const TRunOutcome &Outcome)
    {
        EXPECT_EQ(Outcome.Status, 1) << Outcome.Out;
        const std::string fingerprint = FServer->CertificateFingerprint();
        const int refusal = Outcome.LineStarting("! The certificate of 127.0.0.1:" +
                                                 std::to_string(FServer->Port()));
        ASSERT_GE(refusal, 0) << Outcome.Out;
        const std::string line = Outcome.Lines()[std::size_t(refusal)];
        EXPECT_NE(line.find("fingerprint is " + fingerprint), std::string::npos) << line;
        EXPECT_NE(line.find("profile.tnc: TLSFINGERPRINT=" + fingerprint), std::string::npos)
            << line;
        EXPECT_EQ(Outcome.LineStarting("> USER"), -1) << "no login without TLS: " << Outcome.Out;
        EXPECT_FALSE(Exists(PathOf("download/got.bin")));
        ExpectNoPassword(Outcome, Password);
    }

    const std::string FDownload = BinaryContent(300 * 1024 + 7);
    const std::string FUpload = BinaryContent(70 * 1024 + 1).substr(2);
};

TEST_F(TlsRun, PinnedCertificateCarriesTransfersInEveryMode)
{
    const struct
    {
        const char *Tls, *Security;
        bool Passive;
    } modes[] = {
        {"explicit", "EXPLICIT", true},
        {"explicit", "explicit", false},
        {"implicit", "IMPLICIT", true},
        {"implicit", "IMPLICIT", false},
    };
    for (const auto &mode : modes) {
        SCOPED_TRACE(std::string(mode.Tls) + (mode.Passive ? " passive" : " active"));
        StartServer("unix", {"--tls", mode.Tls, "--tls-require-reuse"});
        WriteTlsProfile(mode.Security, mode.Passive, FServer->CertificateFingerprint());
        const TRunOutcome outcome = RunTransfers();
        ExpectTransfersDone(outcome);
        EXPECT_NE(outcome.Out.find(mode.Passive ? "> PASV" : "> PORT"), std::string::npos)
            << outcome.Out;
        std::filesystem::remove(PathOf("download/got.bin"));
        std::filesystem::remove(ServerPath("up.bin"));
    }
}

TEST_F(TlsRun, UnverifiedCertificateNeedsAPinOrATrustedEntry)
{
    StartServer("os400", {"--tls", "explicit"});
    const std::string fingerprint = FServer->CertificateFingerprint();

    WriteTlsProfile("EXPLICIT", true);
    ExpectRefused(RunTransfers());

    // A pin of another certificate is no better than none.
    std::string wrong = fingerprint;
    wrong[0] = wrong[0] == 'A' ? 'B' : 'A';
    WriteTlsProfile("EXPLICIT", true, wrong);
    ExpectRefused(RunTransfers());

    // An entry of the user's trusted-certificates file (as the client's "Always trust" writes
    // it) is accepted; one for another port is not.
    const std::string trusted = PathOf("config/Tarn/trusted_certificates");
    Write(trusted, "127.0.0.1:1 " + fingerprint + "\n");
    WriteTlsProfile("EXPLICIT", true);
    ExpectRefused(RunTransfers());
    Write(trusted,
          "garbage\n127.0.0.1:" + std::to_string(FServer->Port()) + " " + fingerprint + "\n");
    ExpectTransfersDone(RunTransfers());
}

TEST_F(TlsRun, ProfileValueThatIsNotUnderstoodOpensNoSession)
{
    StartServer("unix", {"--tls", "explicit"});
    for (const char *security : {"TSL", "SSL"}) {
        WriteTlsProfile(security, true);
        const TRunOutcome outcome = RunTransfers();
        EXPECT_EQ(outcome.Status, 1);
        EXPECT_NE(outcome.Out.find(std::string("SECURITY=") + security + " is not understood"),
                  std::string::npos)
            << outcome.Out;
        EXPECT_EQ(outcome.LineStarting("< 220"), -1) << "not even connected: " << outcome.Out;
    }
}

// OpenSSL is loaded by the first TLS connect, never at start: a clear-text run does not map it
// (the loader's own account of the files it opens says so), a TLS run does and carries its
// transfers.
TEST_F(TlsRun, OpenSslIsLoadedOnlyByATlsSession)
{
    const struct
    {
        const char *Security;
        std::vector<std::string> ServerArgs;
        bool Loaded;
    } runs[] = {
        {"", {}, false},
        {"EXPLICIT", {"--tls", "explicit"}, true},
    };
    FEnvironment.emplace_back("LD_DEBUG", "files");
    for (const auto &run : runs) {
        SCOPED_TRACE(std::string("SECURITY=") + run.Security);
        StartServer("unix", run.ServerArgs);
        WriteTlsProfile(run.Security, true, run.Loaded ? FServer->CertificateFingerprint() : "");
        const TRunOutcome outcome = RunTransfers();
        ExpectTransfersDone(outcome);
        EXPECT_EQ(outcome.Err.find("file=libssl.so.3") != std::string::npos, run.Loaded)
            << outcome.Err;
        std::filesystem::remove(PathOf("download/got.bin"));
        std::filesystem::remove(ServerPath("up.bin"));
    }
}

// Where OpenSSL cannot be loaded (here: its file hidden under an empty one in a mount
// namespace of this test process, which tarnsp inherits), CONNECT fails before any login and
// says why.
TEST_F(TlsRun, ConnectWithoutOpenSslFailsAndSaysWhy)
{
    // The server (which needs OpenSSL itself) first.
    StartServer("unix", {"--tls", "explicit"});
    WriteTlsProfile("EXPLICIT", true, FServer->CertificateFingerprint());
    // The file the loader would open: asked of the loader in this process.
    void *handle = ::dlopen("libssl.so.3", RTLD_NOW | RTLD_LOCAL);
    link_map *map = nullptr;
    ASSERT_TRUE(handle && ::dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map) << ::dlerror();
    const std::string library = std::filesystem::canonical(map->l_name).string();
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("/dev/null", library.c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "no mount namespace here (needs root): "
                     << std::generic_category().message(errno);
    const TRunOutcome outcome = RunTransfers();
    ::umount(library.c_str());
    EXPECT_EQ(outcome.Status, 1) << outcome.Out << outcome.Err;
    EXPECT_NE(outcome.Out.find("500 TLS is not available: libssl.so.3 cannot be loaded ("),
              std::string::npos)
        << outcome.Out;
    EXPECT_EQ(outcome.LineStarting("> USER"), -1) << "no login without TLS: " << outcome.Out;
    EXPECT_FALSE(Exists(PathOf("download/got.bin")));
}

// The road the issue asks for: a script whose profile says SECURITY=EXPLICIT and PASSIVE=1,
// against Debian's vsftpd with ssl_enable=YES (its demand that data connections resume the
// control connection's TLS session kept), through tools/vsftpd-bench.
TEST_F(TlsRun, ExplicitPassiveScriptRunsAgainstVsftpd)
{
    const std::string tools = std::string(std::getenv("TARN_SOURCE_DIR")) + "/tools/vsftpd-bench/";
    QProcess start;
    start.start(QString::fromStdString(tools + "start-vsftpd"), {"--passive", "--tls"});
    ASSERT_TRUE(start.waitForFinished(60000));
    ASSERT_EQ(start.exitCode(), 0) << start.readAllStandardError().toStdString();
    std::map<std::string, std::string> server;
    for (const QByteArray &line : start.readAllStandardOutput().split('\n')) {
        const qsizetype blank = line.indexOf(' ');
        if (blank > 0)
            server[line.left(blank).toStdString()] = line.mid(blank + 1).toStdString();
    }
    struct TStop
    {
        std::string Program, Pid;
        ~TStop()
        {
            QProcess::execute(QString::fromStdString(Program), {QString::fromStdString(Pid)});
        }
    } stop{tools + "stop-vsftpd", server["PID"]};
    ASSERT_FALSE(server["PORT"].empty());

    const std::string root = server["ROOT"];
    Write(PathOf("up.bin"), FUpload);
    TConnectionProfile profile;
    profile.URLOrIP = "127.0.0.1";
    profile.UserName = "anonymous";
    profile.PassWord = "tarn@";
    profile.Port = server["PORT"];
    profile.LocalDir = PathOf("download");
    profile.HostDir = root;
    profile.Passive = "1";
    profile.Security = "EXPLICIT";
    profile.TlsFingerprint = server["FINGERPRINT"];
    ASSERT_TRUE(WriteConnectionProfile(PathOf("profile.tnc"), profile));

    // Up, then down again under another name: both ends hold the same bytes.
    const TRunOutcome outcome = Run("PROFILE profile.tnc\n"
                                    "CONNECT\n"
                                    "BINARY\n"
                                    "SEND \"up.bin\" \"up.bin\"\n"
                                    "RECEIVE \"back.bin\" \"up.bin\"\n"
                                    "QUIT\n");
    EXPECT_EQ(outcome.Status, 0) << outcome.Out << outcome.Err;
    EXPECT_TRUE(Read(root + "/up.bin") == FUpload) << "upload differs";
    EXPECT_TRUE(Read(PathOf("download/back.bin")) == FUpload) << "download differs";
    EXPECT_NE(outcome.Out.find("> AUTH TLS"), std::string::npos) << outcome.Out;
    EXPECT_NE(outcome.Out.find("> PASV"), std::string::npos) << outcome.Out;
}

} // namespace
} // namespace tarn::test
