#include "profile/trusted_certificates.h"
#include "support/settings_store.h"
#include "tests/profile/profile_files.h"

#include <QDir>
#include <QSettings>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarn {

namespace {

class TrustedCertificates : public ::testing::Test, protected TProfileFiles
{
protected:
    static std::string Fingerprint(char Digit) { return std::string(64, Digit); }
    // As openssl prints it: "DD:DD:...".
    static std::string Printed(char Digit)
    {
        std::string text;
        for (int i = 0; i < 32; ++i)
            text += std::string(i ? ":" : "") + Digit + Digit;
        return text;
    }
};

TEST_F(TrustedCertificates, EntriesAreKeptPerHostAndPortAndTheFileIsReplacedWhole)
{
    const std::string file = Path("config/Tarn/trusted_certificates");
    TTrustedCertificates trusted(file);
    EXPECT_FALSE(trusted.Contains("as400", "21", Fingerprint('A'))) << "no file: nothing trusted";

    // The folder is made; the entry is written as openssl prints the fingerprint.
    std::string error;
    ASSERT_TRUE(trusted.Add("as400", "21", Fingerprint('a'), &error)) << error;
    EXPECT_EQ(Read(file), "as400:21 " + Printed('A') + "\n");
    struct stat info = {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // A second host, the same host on another port, a garbled line written by hand: each entry
    // is found by host, port and fingerprint; the garbled line is ignored and kept.
    Write(file, Read(file) + "# mine\ngarbled line\r\nhost-without-port " + Printed('C') + "\n");
    // A reader that holds the file open keeps seeing the file it opened: the new one replaces
    // it, it is never rewritten in place.
    const int reader = open(file.c_str(), O_RDONLY);
    const off_t before = lseek(reader, 0, SEEK_END);
    ASSERT_TRUE(trusted.Add("ibmi.example.com", "990", Printed('B')));
    ASSERT_TRUE(trusted.Add("as400", "2121", Printed('C')));
    ASSERT_TRUE(trusted.Add("AS400", "21", Fingerprint('A'))) << "already there";
    EXPECT_EQ(lseek(reader, 0, SEEK_END), before);
    close(reader);

    const std::string text = Read(file);
    EXPECT_NE(text.find("# mine\ngarbled line\r\nhost-without-port "), std::string::npos) << text;
    EXPECT_EQ(text.find("AS400"), std::string::npos) << "no second copy: " << text;
    const struct
    {
        const char *Host, *Port;
        std::string Fingerprint;
        bool Trusted;
    } lookups[] = {
        {"as400", "21", Fingerprint('A'), true},
        {"AS400", "21", Printed('A'), true},
        {"as400", "21", Fingerprint('B'), false},
        {"as400", "990", Fingerprint('A'), false},
        {"as400", "2121", Fingerprint('C'), true},
        {"ibmi.example.com", "990", Fingerprint('b'), true},
        {"ibmi.example.com", "21", Fingerprint('B'), false},
        {"host-without-port", "21", Fingerprint('C'), false},
        {"as400", "21", "not a fingerprint", false},
    };
    for (const auto &lookup : lookups)
        EXPECT_EQ(trusted.Contains(lookup.Host, lookup.Port, lookup.Fingerprint), lookup.Trusted)
            << lookup.Host << ":" << lookup.Port << " " << lookup.Fingerprint;

    // What cannot be an entry is refused, and the file stays as it was.
    EXPECT_FALSE(trusted.Add("as400", "21", "AB:CD"));
    EXPECT_FALSE(trusted.Add("two words", "21", Fingerprint('D')));
    EXPECT_EQ(Read(file), text);
    EXPECT_EQ(QDir(QString::fromStdString(Path("config/Tarn")))
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"trusted_certificates"})
        << "no temporary file is left behind";
    Write(Path("blocker"), "a file, not a folder");
    EXPECT_FALSE(TTrustedCertificates(Path("blocker/trusted")).Add("h", "1", Printed('A'), &error));
    EXPECT_FALSE(error.empty());
}

TEST_F(TrustedCertificates, LivesBesideTheSettings)
{
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, Dir.path() + "/config");
    EXPECT_EQ(TTrustedCertificates::DefaultFileName(), Path("config/Tarn/trusted_certificates"));
    EXPECT_EQ(TTrustedCertificates().FileName(), Path("config/Tarn/trusted_certificates"));
}

} // namespace

} // namespace tarn
