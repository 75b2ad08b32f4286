#pragma once

#include <string>
#include <string_view>

namespace tarn {

// The server certificates a user chose to trust although they could not be verified (IBM i
// servers often show a certificate signed by the system's own local CA). One file per user,
// "trusted_certificates" in the folder of Tarn's settings (~/.config/Tarn), one entry a line:
//
//     as400.example.com:990 AB:CD:...:EF
//
// the host name as the session was opened with it, the decimal port and the certificate's
// SHA-256 fingerprint. A host may have several entries (several ports, a renewed certificate).
// A line that is not an entry (a comment, a garbled line) is ignored and kept when the file is
// rewritten. The file is rewritten in one step (a temporary file renamed over it) with mode
// 0600, so a program reading it at the same time sees the old file or the new one.
class TTrustedCertificates
{
public:
    // The file beside the settings store (support/settings_store.h).
    static std::string DefaultFileName();

    explicit TTrustedCertificates(std::string FileName = DefaultFileName());

    const std::string &FileName() const { return FFileName; }

    // Whether the file holds `Fingerprint` (in any form NormalizeTlsFingerprint takes) for this
    // host (letter case ignored) and port. The file is read at every call, so an entry another
    // Tarn program wrote counts at once; a missing or unreadable file holds no entry.
    bool Contains(const std::string &Host, const std::string &Port,
                  std::string_view Fingerprint) const;

    // Adds the entry unless the file holds it, creating the file and its folder when needed.
    // False, with the reason in `Error` when given, when the fingerprint is not one, or the
    // file cannot be read or written; the file is then untouched.
    bool Add(const std::string &Host, const std::string &Port, std::string_view Fingerprint,
             std::string *Error = nullptr);

private:
    std::string FFileName;
};

} // namespace tarn
