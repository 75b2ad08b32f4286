#include "profile/connection_profile.h"

#include "profile/private_profile.h"
#include "support/text.h"

namespace tarn {

namespace {

const char *const Section = "Connection";
const char *const StoreKey = "PASSWORDSTORE";
const char *const KeyringStore = "KEYRING";
const char *const TransportKeys[] = {"PASSIVE", "SECURITY", "TLSFINGERPRINT"};

std::string Shifted(const std::string &Text, int Offset)
{
    std::string result = Text;
    for (char &c : result)
        c = char((static_cast<unsigned char>(c) + Offset) & 0xFF);
    return result;
}

} // namespace

std::string ScramblePassword(const std::string &Password)
{
    return Shifted(Password, PasswordOffset);
}

std::string UnscramblePassword(const std::string &Scrambled)
{
    return Shifted(Scrambled, 256 - PasswordOffset);
}

std::string SecurityKeyword(TFtpSecurity Security)
{
    switch (Security) {
    case TFtpSecurity::scExplicit:
        return "EXPLICIT";
    case TFtpSecurity::scImplicit:
        return "IMPLICIT";
    case TFtpSecurity::scNone:
        break;
    }
    return "NONE";
}

TConnectionSecurity ConnectionSecurity(const TConnectionProfile &Profile)
{
    TConnectionSecurity result;
    // The first problem found is the one reported.
    const auto report = [&result](const std::string &Text) {
        if (result.Problem.empty())
            result.Problem = Text;
    };
    if (Profile.Passive == "1")
        result.Passive = true;
    else if (!Profile.Passive.empty() && Profile.Passive != "0")
        report("PASSIVE=" + Profile.Passive + " is not understood (0 or 1).");

    const std::string security = UpperCaseAscii(Profile.Security);
    const TFtpSecurity settings[] = {TFtpSecurity::scNone, TFtpSecurity::scExplicit,
                                     TFtpSecurity::scImplicit};
    bool known = security.empty();
    for (const TFtpSecurity setting : settings) {
        if (security == SecurityKeyword(setting)) {
            result.Security = setting;
            known = true;
        }
    }
    if (!known)
        report("SECURITY=" + Profile.Security + " is not understood (NONE, EXPLICIT or IMPLICIT).");

    if (!Profile.TlsFingerprint.empty()) {
        const std::optional<std::string> pinned = NormalizeTlsFingerprint(Profile.TlsFingerprint);
        if (!pinned)
            report("TLSFINGERPRINT=" + Profile.TlsFingerprint +
                   " is not a SHA-256 fingerprint (64 hex digits, colons allowed).");
        else if (result.Security == TFtpSecurity::scNone)
            report("TLSFINGERPRINT is set but SECURITY is NONE: the session would not use TLS.");
        else
            result.TlsFingerprint = *pinned;
    }
    return result;
}

TConnectionProfile ReadConnectionProfile(const std::string &FileName, TLocalFileError *Error)
{
    const TPrivateProfile ini(FileName);
    if (Error)
        *Error = ini.LoadError();
    const TConnectionProfile defaults;
    TConnectionProfile profile;
    auto read = [&ini](const char *Key, const std::string &DefaultValue) {
        return ini.ReadString(Section, Key, DefaultValue);
    };
    profile.Connection = read("CONNECTION", defaults.Connection);
    profile.URLOrIP = read("URLORIP", defaults.URLOrIP);
    profile.UserName = read("USERNAME", defaults.UserName);
    profile.PassWord = UnscramblePassword(read("PASSWORD", defaults.PassWord));
    profile.Port = read("PORT", defaults.Port);
    profile.Timeout = read("TIMEOUT", defaults.Timeout);
    profile.LocalDir = read("LOCALDIR", defaults.LocalDir);
    if (profile.LocalDir == "\\")
        profile.LocalDir = "/";
    profile.HostDir = read("HOSTDIR", defaults.HostDir);
    if (UpperCaseAscii(read(StoreKey, "")) == KeyringStore)
        profile.PasswordStore = psKeyring;
    profile.Passive = read("PASSIVE", defaults.Passive);
    profile.Security = read("SECURITY", defaults.Security);
    profile.TlsFingerprint = read("TLSFINGERPRINT", defaults.TlsFingerprint);
    return profile;
}

bool WriteConnectionProfile(const std::string &FileName, const TConnectionProfile &Profile)
{
    TPrivateProfile ini(FileName);
    const bool inKeyring = Profile.PasswordStore == psKeyring;
    const std::string password = inKeyring ? std::string() : ScramblePassword(Profile.PassWord);
    bool valuesFit = ini.WriteString(Section, "CONNECTION", Profile.Connection) &&
                     ini.WriteString(Section, "URLORIP", Profile.URLOrIP) &&
                     ini.WriteString(Section, "USERNAME", Profile.UserName) &&
                     ini.WriteString(Section, "PASSWORD", password) &&
                     ini.WriteString(Section, "PORT", Profile.Port) &&
                     ini.WriteString(Section, "TIMEOUT", Profile.Timeout) &&
                     ini.WriteString(Section, "LOCALDIR", Profile.LocalDir) &&
                     ini.WriteString(Section, "HOSTDIR", Profile.HostDir) &&
                     ini.WriteString(Section, "VERSION", "2.x");
    if (inKeyring)
        valuesFit = valuesFit && ini.WriteString(Section, StoreKey, KeyringStore);
    else
        ini.DeleteKey(Section, StoreKey);
    // The transport keys always follow the others, PASSWORDSTORE included when it is new.
    for (const char *key : TransportKeys)
        ini.DeleteKey(Section, key);
    valuesFit = valuesFit && ini.WriteString(Section, "PASSIVE", Profile.Passive) &&
                ini.WriteString(Section, "SECURITY", Profile.Security) &&
                ini.WriteString(Section, "TLSFINGERPRINT", Profile.TlsFingerprint);
    // The file holds the password, only scrambled: a new one is for its owner's eyes only.
    return valuesFit && ini.Save(0600);
}

std::string LibraryListFileName(const std::string &ProfileFileName)
{
    const size_t slash = ProfileFileName.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::string upper = ProfileFileName.substr(nameStart);
    for (char &c : upper) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    }
    const size_t extension = upper.find(".TNC");
    if (extension == std::string::npos)
        return ProfileFileName + ".tnl";
    return ProfileFileName.substr(0, nameStart + extension) + ".tnl";
}

} // namespace tarn
