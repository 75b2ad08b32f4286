#include "profile/trusted_certificates.h"

#include "ftp/ftp_security.h"
#include "support/local_files.h"
#include "support/settings_store.h"
#include "support/text.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <optional>

namespace tarn {

namespace {

constexpr std::size_t MaxFileSize = std::size_t(1) << 20;

struct TEntry
{
    std::string Host;
    std::string Port;
    std::string Fingerprint; // normalized
};

// "host:port FINGERPRINT"; the host may hold colons itself (an IPv6 address), the port is the
// text after the last one.
std::optional<TEntry> ParseEntry(std::string_view Line)
{
    const std::string text = Trim(Line, tsBlanks);
    const std::size_t blank = text.find_first_of(" \t");
    if (blank == std::string::npos)
        return std::nullopt;
    const std::string address = text.substr(0, blank);
    const std::size_t colon = address.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == address.size())
        return std::nullopt;
    std::optional<std::string> fingerprint =
        NormalizeTlsFingerprint(Trim(std::string_view(text).substr(blank), tsBlanks));
    if (!fingerprint)
        return std::nullopt;
    return TEntry{address.substr(0, colon), address.substr(colon + 1), *fingerprint};
}

bool SameEntry(const TEntry &Entry, const std::string &Host, const std::string &Port,
               const std::string &Fingerprint)
{
    return UpperCaseAscii(Entry.Host) == UpperCaseAscii(Host) && Entry.Port == Port &&
           Entry.Fingerprint == Fingerprint;
}

// Whether `Text` holds the entry; each line ends in LF, CR LF or CR.
bool Holds(const std::string &Text, const std::string &Host, const std::string &Port,
           const std::string &Fingerprint)
{
    std::size_t start = 0;
    while (start < Text.size()) {
        std::size_t end = Text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = Text.size();
        const std::optional<TEntry> entry =
            ParseEntry(std::string_view(Text).substr(start, end - start));
        if (entry && SameEntry(*entry, Host, Port, Fingerprint))
            return true;
        start = end + 1;
    }
    return false;
}

} // namespace

std::string TTrustedCertificates::DefaultFileName()
{
    const QString folder = QFileInfo(OpenSettingsStore()->fileName()).absolutePath();
    return (folder + "/trusted_certificates").toLocal8Bit().toStdString();
}

TTrustedCertificates::TTrustedCertificates(std::string FileName) : FFileName(std::move(FileName)) {}

bool TTrustedCertificates::Contains(const std::string &Host, const std::string &Port,
                                    std::string_view Fingerprint) const
{
    const std::optional<std::string> wanted = NormalizeTlsFingerprint(Fingerprint);
    std::string text;
    return wanted && !ReadRegularFile(FFileName, MaxFileSize, text) &&
           Holds(text, Host, Port, *wanted);
}

bool TTrustedCertificates::Add(const std::string &Host, const std::string &Port,
                               std::string_view Fingerprint, std::string *Error)
{
    const auto fail = [&](const std::string &Why) {
        if (Error)
            *Error = Why;
        return false;
    };
    const std::optional<std::string> fingerprint = NormalizeTlsFingerprint(Fingerprint);
    if (!fingerprint)
        return fail("\"" + std::string(Fingerprint) + "\" is not a SHA-256 fingerprint");
    if (Host.empty() || Port.empty() || Host.find_first_of(" \t\r\n") != std::string::npos ||
        Port.find_first_of(" \t\r\n:") != std::string::npos)
        return fail("\"" + Host + ":" + Port + "\" cannot be written as an entry");
    std::string text;
    const TLocalFileError readError = ReadRegularFile(FFileName, MaxFileSize, text);
    if (readError && readError.Code != ENOENT)
        return fail(FFileName + ": " + readError.Text);
    if (Holds(text, Host, Port, *fingerprint))
        return true;
    if (!text.empty() && text.back() != '\n' && text.back() != '\r')
        text += '\n';
    text += Host + ":" + Port + " " + FormatTlsFingerprint(*fingerprint) + "\n";
    const QString folder = QFileInfo(QString::fromLocal8Bit(FFileName)).absolutePath();
    if (!QDir().mkpath(folder))
        return fail("cannot create the folder " + folder.toLocal8Bit().toStdString());
    const TLocalFileError writeError = ReplaceFileContents(FFileName, text, 0600, true);
    if (writeError)
        return fail(FFileName + ": " + writeError.Text);
    return true;
}

} // namespace tarn
