// The engine against Debian's vsftpd with TLS demanded (ssl_enable=YES and its default demand
// that data connections resume the control connection's TLS session), in passive and active
// mode: what a real server makes of our handshakes, PBSZ/PROT and session resumption.
#include "tests/ftp/ftp_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace tarn {

namespace {

// A vsftpd started by tools/vsftpd-bench/start-vsftpd for the length of a test.
class TVsftpd
{
public:
    explicit TVsftpd(const std::string &Args)
    {
        const std::string tools =
            std::string(std::getenv("TARN_SOURCE_DIR")) + "/tools/vsftpd-bench/";
        FStop = tools + "stop-vsftpd ";
        FILE *out = ::popen((tools + "start-vsftpd " + Args + " 2>&1").c_str(), "r");
        std::string text;
        char buffer[512];
        while (out && std::fgets(buffer, sizeof buffer, out))
            text += buffer;
        const int status = out ? ::pclose(out) : -1;
        std::istringstream lines(text);
        std::string key, value;
        while (lines >> key && std::getline(lines >> std::ws, value))
            FValues[key] = value;
        if (status != 0 || !FValues.count("PID"))
            FError = text.empty() ? "start-vsftpd failed" : text;
    }
    ~TVsftpd()
    {
        if (FValues.count("PID"))
            std::system((FStop + FValues["PID"] + " >/dev/null 2>&1").c_str());
    }
    const std::string &Error() const { return FError; }
    std::string operator[](const std::string &Key) const
    {
        const auto found = FValues.find(Key);
        return found == FValues.end() ? "" : found->second;
    }

private:
    std::string FStop;
    std::map<std::string, std::string> FValues;
    std::string FError;
};

using VsftpdTls = TLocalFolderTest;

TEST_F(VsftpdTls, ExplicitAndImplicitInBothModesByteForByte)
{
    const std::string bytes = RandomBytes((std::size_t(3) << 20) + 1, 5);
    for (const TFtpSecurity security : {TFtpSecurity::scExplicit, TFtpSecurity::scImplicit}) {
        const bool implicit = security == TFtpSecurity::scImplicit;
        TVsftpd server(implicit ? "--passive --tls-implicit" : "--passive --tls");
        if (!server.Error().empty())
            GTEST_SKIP() << "vsftpd cannot start here: " << server.Error();
        for (const bool passive : {true, false}) {
            SCOPED_TRACE(std::string(implicit ? "implicit" : "explicit") +
                         (passive ? " passive" : " active"));
            TFtpHarness h(std::stoi(server["PORT"]), "anonymous", "");
            h.Ftp.Security = security;
            h.Ftp.Passive = passive;
            h.Ftp.TlsFingerprint = server["FINGERPRINT"];
            ASSERT_TRUE(h.Ftp.Connect()) << h.Ftp.ErrorMessage();
            EXPECT_TRUE(h.LoggedPrefix("! TLS TLSv1.2 "));
            ASSERT_TRUE(h.Ftp.TypeSet());
            const std::string name = passive ? "p.bin" : "a.bin";
            for (const std::string &content : {bytes, std::string()}) {
                WriteFile(Local(name), content);
                h.Ftp.HostFileName = name;
                h.Ftp.LocalFileName = Local(name);
                ASSERT_TRUE(h.Ftp.Put()) << h.Ftp.ErrorMessage();
                EXPECT_TRUE(ReadFile(server["ROOT"] + "/" + name) == content);
                h.Ftp.LocalFileName = Local("back.bin");
                ASSERT_TRUE(h.Ftp.Get()) << h.Ftp.ErrorMessage();
                EXPECT_TRUE(ReadFile(Local("back.bin")) == content) << content.size();
            }
            h.Ftp.HostFileName = "";
            h.Ftp.LocalFileName = Local("listing.txt");
            ASSERT_TRUE(h.Ftp.Dir()) << h.Ftp.ErrorMessage();
            EXPECT_NE(ReadFile(Local("listing.txt")).find(name), std::string::npos);
            EXPECT_TRUE(h.Ftp.Quit());
        }
    }
}

} // namespace
} // namespace tarn
