#include "profile/connection_profile.h"
#include "tests/profile/profile_files.h"

#include <QDir>
#include <gtest/gtest.h>

namespace tarn {

namespace {

class ConnectionProfile : public ::testing::Test, protected TProfileFiles
{
};

std::string PrintableAscii()
{
    std::string text;
    for (char c = ' '; c <= '~'; ++c)
        text += c;
    return text;
}

TEST_F(ConnectionProfile, WrittenProfileReadsBackTheSame)
{
    TConnectionProfile profile;
    profile.Connection = "Office VPN";
    profile.URLOrIP = "as400.example.com";
    profile.UserName = "QUSER";
    profile.Port = "ftp";
    profile.Timeout = "120";
    profile.LocalDir = "/home/me/downloads/";
    profile.HostDir = "/QSYS.LIB/MYLIB.LIB";
    const std::string file = Path("host.tnc");
    for (const std::string &password : {PrintableAscii(), std::string("p\xC3\xA4ss\xE2\x82\xAC"),
                                        std::string("x"), std::string()}) {
        profile.PassWord = password;
        ASSERT_TRUE(WriteConnectionProfile(file, profile));
        EXPECT_EQ(ReadConnectionProfile(file), profile) << password;
    }
}

TEST_F(ConnectionProfile, WritesTheKeysInOrderWithTheScrambledPassword)
{
    TConnectionProfile profile;
    profile.URLOrIP = "host";
    profile.UserName = "me";
    profile.PassWord = "Secret 1~";
    const std::string file = Path("new.tnc");
    ASSERT_TRUE(WriteConnectionProfile(file, profile));
    std::string scrambled;
    for (char c : profile.PassWord)
        scrambled += char(c + PasswordOffset);
    EXPECT_EQ(Read(file), "[Connection]\r\n"
                          "CONNECTION=LAN\r\n"
                          "URLORIP=host\r\n"
                          "USERNAME=me\r\n"
                          "PASSWORD=" +
                              scrambled +
                              "\r\n"
                              "PORT=21\r\n"
                              "TIMEOUT=30\r\n"
                              "LOCALDIR=/\r\n"
                              "HOSTDIR=/\r\n"
                              "VERSION=2.x\r\n"
                              "PASSIVE=0\r\n"
                              "SECURITY=NONE\r\n"
                              "TLSFINGERPRINT=\r\n");
    EXPECT_EQ(ScramblePassword(""), "");
    EXPECT_EQ(UnscramblePassword(ScramblePassword(std::string("\xFF\x00\xF9", 3))),
              std::string("\xFF\x00\xF9", 3))
        << "modulo 256";
}

TEST_F(ConnectionProfile, MissingKeysTakeTheDefaults)
{
    const TConnectionProfile defaults = ReadConnectionProfile(Path("missing.tnc"));
    EXPECT_EQ(defaults.Connection, "LAN");
    EXPECT_EQ(defaults.URLOrIP, "");
    EXPECT_EQ(defaults.UserName, "");
    EXPECT_EQ(defaults.PassWord, "");
    EXPECT_EQ(defaults.Port, "21");
    EXPECT_EQ(defaults.Timeout, "30");
    EXPECT_EQ(defaults.LocalDir, "/");
    EXPECT_EQ(defaults.HostDir, "/");

    Write(Path("header.tnc"), "[Connection]\r\n");
    EXPECT_EQ(ReadConnectionProfile(Path("header.tnc")), defaults);

    // A profile that names the root of a drive as "\"; keys in any case, blanks around.
    Write(Path("windows.tnc"), "[CONNECTION]\r\nlocaldir = \\ \r\n Port=2121\r\nVERSION=2.x\r\n");
    const TConnectionProfile windows = ReadConnectionProfile(Path("windows.tnc"));
    EXPECT_EQ(windows.LocalDir, "/");
    EXPECT_EQ(windows.Port, "2121");
}

TEST_F(ConnectionProfile, RewritingKeepsTheRestOfTheFile)
{
    const std::string file = Path("host.tnc");
    Write(file, "; notes about this host\r\n[Connection]\r\nURLORIP=old\r\nEXTRA=kept\r\n");
    TConnectionProfile profile;
    profile.URLOrIP = "new";
    ASSERT_TRUE(WriteConnectionProfile(file, profile));
    const std::string text = Read(file);
    EXPECT_EQ(
        text.rfind("; notes about this host\r\n[Connection]\r\nURLORIP=new\r\nEXTRA=kept\r\n", 0),
        0u)
        << text;
    EXPECT_EQ(ReadConnectionProfile(file).URLOrIP, "new");

    const std::string missingFolder = Path("no/such/folder/host.tnc");
    EXPECT_FALSE(WriteConnectionProfile(missingFolder, profile));
}

TEST_F(ConnectionProfile, KeyringProfileKeepsNoPasswordAndSwitchesBack)
{
    const std::string file = Path("keyring.tnc");
    Write(file, "[Connection]\r\nURLORIP=host\r\nPASSWORD=\x6C\x6C\r\n; a note\r\n");
    TConnectionProfile profile = ReadConnectionProfile(file);
    profile.PassWord = "never written";
    profile.PasswordStore = psKeyring;
    ASSERT_TRUE(WriteConnectionProfile(file, profile));
    std::string text = Read(file);
    EXPECT_NE(text.find("\r\nPASSWORD=\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nVERSION=2.x\r\nPASSWORDSTORE=KEYRING\r\nPASSIVE=0\r\n"),
              std::string::npos)
        << "after the other keys: " << text;
    const TConnectionProfile read = ReadConnectionProfile(file);
    EXPECT_EQ(read.PasswordStore, psKeyring);
    EXPECT_EQ(read.PassWord, "");

    // Back to a password in the file: the line goes, nothing else changes.
    profile.PasswordStore = psProfile;
    ASSERT_TRUE(WriteConnectionProfile(file, profile));
    text = Read(file);
    EXPECT_EQ(text.find("PASSWORDSTORE"), std::string::npos) << text;
    EXPECT_EQ(ReadConnectionProfile(file), profile);
    EXPECT_NE(text.find("\r\nVERSION=2.x\r\nPASSIVE=0\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("TLSFINGERPRINT=\r\n; a note\r\n"), std::string::npos) << text;

    // Only KEYRING (in any case, blanks around) means the keyring.
    const std::pair<const char *, TPasswordStorage> values[] = {
        {"KEYRING", psKeyring}, {" keyring ", psKeyring}, {"", psProfile}, {"FILE", psProfile}};
    for (const auto &[value, storage] : values) {
        Write(file, std::string("[Connection]\r\nPASSWORDSTORE=") + value + "\r\n");
        EXPECT_EQ(ReadConnectionProfile(file).PasswordStore, storage) << value;
    }
}

// What PASSIVE, SECURITY and TLSFINGERPRINT give the engine, and which values are refused.
TEST_F(ConnectionProfile, TransportKeysReadWithDefaultsAndRefuseWhatIsNotUnderstood)
{
    const std::string pin = "ab:cd:ef:01:23:45:67:89:AB:CD:EF:01:23:45:67:89:"
                            "ab:cd:ef:01:23:45:67:89:AB:CD:EF:01:23:45:67:89";
    const std::string normalized = "ABCDEF0123456789ABCDEF0123456789"
                                   "ABCDEF0123456789ABCDEF0123456789";
    struct TCase
    {
        std::string Keys; // the lines after [Connection]
        bool Passive;
        TFtpSecurity Security;
        std::string Fingerprint;
        const char *Problem; // the start of the problem, "" for none
    };
    const TCase cases[] = {
        {"", false, TFtpSecurity::scNone, "", ""},
        {"PASSIVE=1\r\n", true, TFtpSecurity::scNone, "", ""},
        {"PASSIVE=0\r\nSECURITY=NONE\r\nTLSFINGERPRINT=\r\n", false, TFtpSecurity::scNone, "", ""},
        {"passive= 1 \r\nsecurity=explicit\r\n", true, TFtpSecurity::scExplicit, "", ""},
        {"SECURITY=Implicit\r\n", false, TFtpSecurity::scImplicit, "", ""},
        {("SECURITY=EXPLICIT\r\nTLSFINGERPRINT=" + pin + "\r\n"), false, TFtpSecurity::scExplicit,
         normalized, ""},
        {("SECURITY=IMPLICIT\r\nTLSFINGERPRINT=" + normalized + "\r\n"), false,
         TFtpSecurity::scImplicit, normalized, ""},
        // Never clear text for a value that is not understood.
        {"SECURITY=TSL\r\n", false, TFtpSecurity::scNone, "", "SECURITY=TSL "},
        {"SECURITY=SSL\r\nPASSIVE=1\r\n", true, TFtpSecurity::scNone, "", "SECURITY=SSL "},
        {"PASSIVE=yes\r\n", false, TFtpSecurity::scNone, "", "PASSIVE=yes "},
        {"SECURITY=EXPLICIT\r\nTLSFINGERPRINT=AB:CD\r\n", false, TFtpSecurity::scExplicit, "",
         "TLSFINGERPRINT=AB:CD "},
        {("SECURITY=EXPLICIT\r\nTLSFINGERPRINT=" + normalized + "00\r\n"), false,
         TFtpSecurity::scExplicit, "", "TLSFINGERPRINT="},
        {("TLSFINGERPRINT=" + pin + "\r\n"), false, TFtpSecurity::scNone, "",
         "TLSFINGERPRINT is set but SECURITY is NONE"},
    };
    const std::string file = Path("transport.tnc");
    for (const TCase &c : cases) {
        Write(file, "[Connection]\r\nURLORIP=host\r\n" + c.Keys);
        const TConnectionSecurity got = ConnectionSecurity(ReadConnectionProfile(file));
        SCOPED_TRACE(c.Keys);
        EXPECT_EQ(got.Problem.rfind(c.Problem, 0), 0u) << got.Problem;
        EXPECT_EQ(got.Problem.empty(), std::string(c.Problem).empty()) << got.Problem;
        if (got.Problem.empty()) {
            EXPECT_EQ(got.Passive, c.Passive);
            EXPECT_EQ(got.Security, c.Security);
            EXPECT_EQ(got.TlsFingerprint, c.Fingerprint);
        }
    }
}

// The new keys come after every existing one; an old profile keeps every byte it had, and a
// value that is not understood survives a rewrite rather than turning into clear text.
TEST_F(ConnectionProfile, TransportKeysFollowTheOldOnesAndSurviveARewrite)
{
    const std::string old = "; the AS/400 in the basement\r\n"
                            "[Connection]\r\n"
                            "CONNECTION=LAN\r\n"
                            "URLORIP=as400\r\n"
                            "USERNAME=QUSER\r\n"
                            "PASSWORD=\x7A\x6C\r\n"
                            "PORT=21\r\n"
                            "TIMEOUT=30\r\n"
                            "LOCALDIR=/tmp/\r\n"
                            "HOSTDIR=/QSYS.LIB\r\n"
                            "VERSION=2.x\r\n"
                            "\r\n"
                            "[Other]\r\nKEY=kept\r\n";
    const std::string file = Path("old.tnc");
    Write(file, old);
    TConnectionProfile profile = ReadConnectionProfile(file);
    EXPECT_TRUE(ConnectionSecurity(profile).Problem.empty());
    ASSERT_TRUE(WriteConnectionProfile(file, profile));
    const std::string added = "PASSIVE=0\r\nSECURITY=NONE\r\nTLSFINGERPRINT=\r\n";
    const std::size_t end = old.find("VERSION=2.x\r\n") + 13;
    EXPECT_EQ(Read(file), old.substr(0, end) + added + old.substr(end));

    profile.Passive = "1";
    profile.Security = "EXPLICIT";
    profile.TlsFingerprint = std::string(64, 'a');
    ASSERT_TRUE(WriteConnectionProfile(file, profile));
    EXPECT_EQ(ReadConnectionProfile(file), profile);
    EXPECT_NE(Read(file).find("VERSION=2.x\r\nPASSIVE=1\r\nSECURITY=EXPLICIT\r\n"),
              std::string::npos);

    // A password moved into the keyring later: PASSWORDSTORE still comes before them.
    profile.PasswordStore = psKeyring;
    ASSERT_TRUE(WriteConnectionProfile(file, profile));
    EXPECT_NE(Read(file).find("VERSION=2.x\r\nPASSWORDSTORE=KEYRING\r\nPASSIVE=1\r\n"),
              std::string::npos)
        << Read(file);

    profile.Security = "TSL";
    ASSERT_TRUE(WriteConnectionProfile(file, profile));
    const TConnectionProfile reread = ReadConnectionProfile(file);
    EXPECT_EQ(reread.Security, "TSL");
    EXPECT_FALSE(ConnectionSecurity(reread).Problem.empty());
}

TEST(LibraryListFileName, FollowsTheProfileName)
{
    const std::pair<std::string, std::string> cases[] = {
        {"/p/HOST.tnc", "/p/HOST.tnl"},
        {"/p/HOST", "/p/HOST.tnl"},
        {"/p/host.TNC", "/p/host.tnl"},
        {"/p/a.tnc.backup", "/p/a.tnl"},
        {"/dir.tnc/host", "/dir.tnc/host.tnl"},
        {"host.Tnc", "host.tnl"},
        {"", ".tnl"},
    };
    for (const auto &[profile, library] : cases)
        EXPECT_EQ(LibraryListFileName(profile), library) << profile;
}

} // namespace

} // namespace tarn
