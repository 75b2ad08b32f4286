#include "profile/connection_profile.h"

#include "profile/private_profile.h"

namespace tarn {

namespace {

const char *const Section = "Connection";

std::string Shifted(const std::string &text, int offset)
{
    std::string result = text;
    for (char &c : result)
        c = char((static_cast<unsigned char>(c) + offset) & 0xFF);
    return result;
}

} // namespace

std::string ScramblePassword(const std::string &password)
{
    return Shifted(password, PasswordOffset);
}

std::string UnscramblePassword(const std::string &scrambled)
{
    return Shifted(scrambled, 256 - PasswordOffset);
}

TConnectionProfile ReadConnectionProfile(const std::string &fileName)
{
    const TPrivateProfile ini(fileName);
    const TConnectionProfile defaults;
    TConnectionProfile profile;
    auto read = [&ini](const char *key, const std::string &defaultValue) {
        return ini.ReadString(Section, key, defaultValue);
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
    return profile;
}

bool WriteConnectionProfile(const std::string &fileName, const TConnectionProfile &profile)
{
    TPrivateProfile ini(fileName);
    const bool valuesFit =
        ini.WriteString(Section, "CONNECTION", profile.Connection) &&
        ini.WriteString(Section, "URLORIP", profile.URLOrIP) &&
        ini.WriteString(Section, "USERNAME", profile.UserName) &&
        ini.WriteString(Section, "PASSWORD", ScramblePassword(profile.PassWord)) &&
        ini.WriteString(Section, "PORT", profile.Port) &&
        ini.WriteString(Section, "TIMEOUT", profile.Timeout) &&
        ini.WriteString(Section, "LOCALDIR", profile.LocalDir) &&
        ini.WriteString(Section, "HOSTDIR", profile.HostDir) &&
        ini.WriteString(Section, "VERSION", "2.x");
    return valuesFit && ini.Save();
}

std::string LibraryListFileName(const std::string &profileFileName)
{
    const size_t slash = profileFileName.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::string upper = profileFileName.substr(nameStart);
    for (char &c : upper) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    }
    const size_t extension = upper.find(".TNC");
    if (extension == std::string::npos)
        return profileFileName + ".tnl";
    return profileFileName.substr(0, nameStart + extension) + ".tnl";
}

} // namespace tarn
