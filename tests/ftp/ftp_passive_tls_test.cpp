// Passive mode and FTP over TLS against tools/testftpd: every combination of data connection
// and protection in each personality, then the faults that matter for each.
#include "tests/common/test_ftp_server.h"
#include "tests/ftp/ftp_test_support.h"

#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <tuple>

namespace tarn {

namespace {

namespace fs = std::filesystem;

const char *SecurityName(TFtpSecurity Security)
{
    return Security == TFtpSecurity::scNone       ? "clear"
           : Security == TFtpSecurity::scExplicit ? "explicit"
                                                  : "implicit";
}

std::vector<std::string> TlsArgs(TFtpSecurity Security)
{
    if (Security == TFtpSecurity::scNone)
        return {};
    return {"--tls", SecurityName(Security)};
}

// A server for the combination and an engine set for it; a TLS engine pins the server's
// self-signed certificate.
struct TSession
{
    TSession(TFtpSecurity Security, bool Passive, std::vector<std::string> Extra = {},
             std::string Personality = "unix", bool RecordWire = false)
        : Server([&] {
              TTestFtpServerOptions options;
              options.Personality = std::move(Personality);
              options.ExtraArgs = TlsArgs(Security);
              options.ExtraArgs.insert(options.ExtraArgs.end(), Extra.begin(), Extra.end());
              options.RecordWire = RecordWire;
              return options;
          }()),
          H(Server.Port(), "tester", "secret")
    {
        H.Ftp.Passive = Passive;
        H.Ftp.Security = Security;
        if (Security != TFtpSecurity::scNone)
            H.Ftp.TlsFingerprint = Server.CertificateFingerprint();
    }
    TTestFtpServer Server;
    TFtpHarness H;
};

class PassiveTls
    : public TLocalFolderTest,
      public ::testing::WithParamInterface<std::tuple<bool, TFtpSecurity, const char *>>
{
};

TEST_P(PassiveTls, EveryDirectionByteForByteAndListing)
{
    const auto [passive, security, personality] = GetParam();
    TSession s(security, passive, {}, personality);
    TFtpClient &ftp = s.H.Ftp;
    ASSERT_TRUE(ftp.Connect()) << ftp.ErrorMessage();
    EXPECT_EQ(s.H.LoggedPrefix("! TLS "), security != TFtpSecurity::scNone);
    ASSERT_TRUE(ftp.TypeSet());
    const std::string pub = std::string(personality) == "os400" ? "/home/" : "/";
    fs::create_directories(s.Server.Root() + pub);
    for (const std::size_t size : {std::size_t(0), std::size_t(1), std::size_t(3) << 20}) {
        const std::string name = "f" + std::to_string(size) + ".bin";
        const std::string bytes = RandomBytes(size, unsigned(size));
        WriteFile(Local(name), bytes);
        ftp.HostFileName = pub + name;
        ftp.LocalFileName = Local(name);
        ASSERT_TRUE(ftp.Put()) << size << " " << ftp.ErrorMessage();
        EXPECT_TRUE(ReadFile(s.Server.Root() + pub + name) == bytes) << size;
        ftp.LocalFileName = Local("back-" + name);
        ASSERT_TRUE(ftp.Get()) << size << " " << ftp.ErrorMessage();
        EXPECT_TRUE(ReadFile(Local("back-" + name)) == bytes) << size;
    }
    ftp.HostFileName = pub;
    ftp.LocalFileName = Local("listing.txt");
    ASSERT_TRUE(ftp.Dir()) << ftp.ErrorMessage();
    EXPECT_NE(ReadFile(Local("listing.txt")).find("f1.bin"), std::string::npos);
    EXPECT_TRUE(ftp.Quit());
}

INSTANTIATE_TEST_SUITE_P(AllModes, PassiveTls,
                         ::testing::Combine(::testing::Bool(),
                                            ::testing::Values(TFtpSecurity::scNone,
                                                              TFtpSecurity::scExplicit,
                                                              TFtpSecurity::scImplicit),
                                            ::testing::Values("unix", "windows", "os400")),
                         [](const auto &Info) {
                             return std::string(std::get<0>(Info.param) ? "passive_" : "active_") +
                                    SecurityName(std::get<1>(Info.param)) + "_" +
                                    std::get<2>(Info.param);
                         });

using PassiveTlsFaults = TLocalFolderTest;

// Passive mode: the reply's address is not followed, EPSV stands in for a refused PASV, and an
// abort or a cut data connection fails the transfer as in active mode.
TEST_F(PassiveTlsFaults, PassiveStepsAndFailures)
{
    const std::string bytes = RandomBytes(300000, 7);
    struct TCase
    {
        TFtpSecurity Security;
        std::vector<std::string> Server;
        const char *Logged;
    };
    const TCase cases[] = {
        {TFtpSecurity::scNone,
         {"--pasv-address", "10.9.8.7"},
         "! PASV reply names 10.9.8.7; connecting to 127.0.0.1, the server's address, instead"},
        {TFtpSecurity::scExplicit, {"--refuse", "PASV"}, "> EPSV"},
    };
    for (const TCase &c : cases) {
        TSession s(c.Security, true, c.Server);
        WriteFile(s.Server.Root() + "/a.bin", bytes);
        ASSERT_TRUE(s.H.Ftp.Connect());
        ASSERT_TRUE(s.H.Ftp.TypeSet());
        s.H.Ftp.HostFileName = "a.bin";
        s.H.Ftp.LocalFileName = Local("a.bin");
        ASSERT_TRUE(s.H.Ftp.Get()) << s.H.Ftp.ErrorMessage();
        EXPECT_TRUE(ReadFile(Local("a.bin")) == bytes);
        EXPECT_TRUE(s.H.Logged(c.Logged)) << c.Logged;
        EXPECT_EQ(s.H.Ftp.ErrorMessage(), "") << "a refused PASV is no error";
    }
    {
        TSession s(TFtpSecurity::scNone, true, {"--data-rate", "200000"});
        WriteFile(s.Server.Root() + "/a.bin", bytes);
        ASSERT_TRUE(s.H.Ftp.Connect());
        ASSERT_TRUE(s.H.Ftp.TypeSet());
        s.H.Ftp.OnProgress = [](TCustomFtpCli *, int64_t Count, bool &Abort) {
            Abort = Count > 30000;
        };
        s.H.Ftp.HostFileName = "a.bin";
        s.H.Ftp.LocalFileName = Local("c.bin");
        EXPECT_FALSE(s.H.Ftp.Get());
        EXPECT_EQ(s.H.Ftp.ErrorMessage(), "426 Transfer aborted");
        EXPECT_FALSE(fs::exists(Local("c.bin")));
        s.H.Ftp.OnProgress = nullptr;
        EXPECT_TRUE(s.H.Ftp.Pwd()) << "in step after the abort";
    }
}

// A protected data stream that ends without close_notify is cut, whatever the server replies;
// the same cut in clear text is caught by the reset or the length, as before.
TEST_F(PassiveTlsFaults, DataWithoutCloseNotifyFails)
{
    const std::string bytes = RandomBytes(300000, 8);
    for (const bool passive : {false, true})
        for (const bool whole : {false, true}) {
            std::vector<std::string> faults{"--tls-no-close-notify"};
            if (!whole)
                faults.insert(faults.end(),
                              {"--drop-data-after", "100000", "--drop-data-reply", "226"});
            TSession s(TFtpSecurity::scExplicit, passive, faults);
            WriteFile(s.Server.Root() + "/a.bin", bytes);
            ASSERT_TRUE(s.H.Ftp.Connect());
            ASSERT_TRUE(s.H.Ftp.TypeSet());
            s.H.Ftp.HostFileName = "a.bin";
            s.H.Ftp.LocalFileName = Local("a.bin");
            EXPECT_FALSE(s.H.Ftp.Get()) << passive << whole;
            EXPECT_EQ(s.H.Ftp.ErrorMessage(), "426 Data connection ended without TLS close_notify")
                << passive << whole;
            EXPECT_FALSE(fs::exists(Local("a.bin")));
            EXPECT_TRUE(s.H.Ftp.Pwd());
        }
}

TEST_F(PassiveTlsFaults, DataConnectionsResumeTheControlSession)
{
    const std::string bytes = RandomBytes(100000, 9);
    for (const bool passive : {false, true}) {
        TSession s(TFtpSecurity::scExplicit, passive, {"--tls-require-reuse"});
        ASSERT_TRUE(s.H.Ftp.Connect());
        ASSERT_TRUE(s.H.Ftp.TypeSet());
        WriteFile(Local("u.bin"), bytes);
        for (int round = 0; round < 2; ++round) {
            s.H.Ftp.HostFileName = "u.bin";
            s.H.Ftp.LocalFileName = Local("u.bin");
            ASSERT_TRUE(s.H.Ftp.Put()) << passive << " " << s.H.Ftp.ErrorMessage();
            s.H.Ftp.LocalFileName = Local("d.bin");
            ASSERT_TRUE(s.H.Ftp.Get()) << passive << " " << s.H.Ftp.ErrorMessage();
            EXPECT_TRUE(ReadFile(Local("d.bin")) == bytes);
        }
    }
}

// Nothing secret crosses in clear: not the password, not even USER when AUTH TLS is refused.
TEST_F(PassiveTlsFaults, TheWireCarriesNoSecret)
{
    for (const TFtpSecurity security : {TFtpSecurity::scExplicit, TFtpSecurity::scImplicit}) {
        TSession s(security, true, {}, "unix", true);
        ASSERT_TRUE(s.H.Ftp.Connect()) << s.H.Ftp.ErrorMessage();
        ASSERT_TRUE(s.H.Ftp.Pwd());
        EXPECT_TRUE(s.H.Ftp.Quit());
        const std::string wire = s.Server.WireFromClient();
        EXPECT_GT(wire.size(), 200u);
        EXPECT_EQ(wire.find("secret"), std::string::npos) << SecurityName(security);
        EXPECT_EQ(wire.find("tester"), std::string::npos) << SecurityName(security);
        EXPECT_EQ(wire.find("PASS"), std::string::npos) << SecurityName(security);
    }
    {
        // Protection asked for after a clear connect: no login goes out unprotected.
        TSession s(TFtpSecurity::scNone, false);
        ASSERT_TRUE(s.H.Ftp.Connect());
        s.H.Ftp.Security = TFtpSecurity::scExplicit;
        EXPECT_THROW(s.H.Ftp.UserAsync(), FtpException);
        EXPECT_THROW(s.H.Ftp.PassAsync(), FtpException);
    }
    TSession s(TFtpSecurity::scExplicit, false, {"--refuse", "AUTH"}, "unix", true);
    EXPECT_FALSE(s.H.Ftp.Connect());
    EXPECT_EQ(s.H.Ftp.ErrorMessage(), "AUTH TLS refused: 502 AUTH command not implemented.");
    EXPECT_FALSE(s.H.Ftp.Connected());
    EXPECT_EQ(s.Server.WireFromClient(), "AUTH TLS\r\n");
}

// Which certificates are accepted: verified ones, pinned ones, and those a person accepts.
TEST_F(PassiveTlsFaults, CertificateJudgement)
{
    enum TAnswer { anNoHandler, anAccept, anRefuse };
    struct TCase
    {
        const char *Name;
        std::vector<std::string> Server;
        bool TrustCa; // the local CA is in the trust store (SSL_CERT_FILE)
        int Pin;      // 0 none, 1 the server's, 2 another
        TAnswer Answer;
        bool Works;
        const char *Problem; // what the handler is told, "" when it is not asked
    };
    const TCase cases[] = {
        {"self-signed, nobody asked", {}, false, 0, anNoHandler, false, ""},
        {"self-signed, pinned", {}, false, 1, anNoHandler, true, ""},
        {"self-signed, wrong pin", {}, false, 2, anNoHandler, false, ""},
        {"self-signed, accepted", {}, false, 0, anAccept, true, "self-signed certificate"},
        {"self-signed, refused", {}, false, 2, anRefuse, false, "self-signed certificate"},
        {"trusted CA", {"--tls-issuer", "ca"}, true, 0, anNoHandler, true, ""},
        {"trusted CA, expired",
         {"--tls-issuer", "ca", "--tls-expired"},
         true,
         0,
         anAccept,
         true,
         "certificate has expired"},
        {"trusted CA, other host",
         {"--tls-issuer", "ca", "--tls-host", "as400.example.com"},
         true,
         0,
         anNoHandler,
         false,
         ""},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.Name);
        TSession s(TFtpSecurity::scImplicit, false, c.Server);
        s.H.Ftp.Timeout = 1;
        if (c.TrustCa)
            ::setenv("SSL_CERT_FILE", (s.Server.TlsFolder() + "/ca.pem").c_str(), 1);
        else
            ::unsetenv("SSL_CERT_FILE");
        s.H.Ftp.TlsFingerprint = c.Pin == 0   ? ""
                                 : c.Pin == 1 ? s.Server.CertificateFingerprint()
                                              : std::string(64, 'a');
        std::string problem;
        std::string fingerprint;
        if (c.Answer != anNoHandler)
            s.H.Ftp.OnCertificateCheck = [&](TCustomFtpCli *, const TTlsCertificateInfo &Info,
                                             bool &Accept) {
                problem = Info.Problem;
                fingerprint = Info.Fingerprint;
                EXPECT_EQ(Info.Subject.rfind("CN=", 0), 0u) << Info.Subject;
                EXPECT_EQ(Info.NotAfter.size(), 23u) << Info.NotAfter;
                // A dialog runs its own event loop, longer than the time-out: the engine
                // must wait for it, and count the time-out from the answer.
                QEventLoop loop;
                QTimer::singleShot(1500, &loop, &QEventLoop::quit);
                loop.exec();
                Accept = c.Answer == anAccept;
            };
        const bool connected = s.H.Ftp.Connect();
        ::unsetenv("SSL_CERT_FILE");
        EXPECT_EQ(connected, c.Works) << s.H.Ftp.ErrorMessage();
        EXPECT_EQ(problem, c.Problem);
        if (!problem.empty()) {
            EXPECT_EQ(fingerprint, s.Server.CertificateFingerprint());
        }
        if (!c.Works) {
            EXPECT_NE(s.H.Ftp.ErrorMessage().find(s.Server.CertificateFingerprint()),
                      std::string::npos)
                << s.H.Ftp.ErrorMessage();
            EXPECT_FALSE(s.H.LoggedPrefix("> USER"));
        } else {
            EXPECT_TRUE(s.H.Ftp.Pwd());
        }
    }
}

// A window closed during the certificate question may take the engine with it.
TEST_F(PassiveTlsFaults, TheEngineMayGoWhileTheCertificateQuestionRuns)
{
    TTestFtpServerOptions options;
    options.ExtraArgs = {"--tls", "implicit"};
    TTestFtpServer server(options);
    auto engine = std::make_unique<TCustomFtpCli>();
    engine->HostName = "127.0.0.1";
    engine->Port = std::to_string(server.Port());
    engine->UserName = "tester";
    engine->PassWord = "secret";
    engine->Security = TFtpSecurity::scImplicit;
    bool asked = false;
    engine->OnCertificateCheck = [&](TCustomFtpCli *, const TTlsCertificateInfo &, bool &Accept) {
        asked = true;
        engine.reset();
        QEventLoop loop;
        QTimer::singleShot(50, &loop, &QEventLoop::quit);
        loop.exec();
        Accept = true;
    };
    engine->ConnectAsync();
    EXPECT_TRUE(PumpUntil([&] { return asked; }));
    PumpUntil([] { return false; }, 1); // whatever was still posted runs into nothing
    EXPECT_EQ(engine, nullptr);
}

} // namespace
} // namespace tarn
