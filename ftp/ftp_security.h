#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tarn {

// How the control and data connections are protected.
enum class TFtpSecurity { scNone, scExplicit, scImplicit };

// The certificate a server showed, as a person is to see it.
struct TTlsCertificateInfo
{
    std::string Host;      // the host name connected to (HostName)
    std::string Port;      // the decimal port actually used
    std::string Subject;   // one line, e.g. "CN=as400.example.com,O=Example"
    std::string Issuer;    // one line
    std::string NotBefore; // "2026-12-08 10:00:00 UTC"
    std::string NotAfter;
    std::string Fingerprint; // SHA-256 as `openssl x509 -noout -fingerprint -sha256` prints
                             // it: 32 upper-case hex pairs joined by ':'
    std::string Problem;     // why it did not verify (e.g. "self-signed certificate",
                             // "certificate has expired", "host name mismatch")
};

class TCustomFtpCli;
// Called only when the certificate neither verifies (system trust store + host name) nor
// matches TlsFingerprint. Accept starts false; no handler means refuse. The handler may run
// a modal dialog (a nested event loop): the engine is safe against that.
using TFtpCertificateCheck =
    std::function<void(TCustomFtpCli *Sender, const TTlsCertificateInfo &Info, bool &Accept)>;

// "ab:CD:..." or 64 hex digits, any letter case, colons ignored -> 64 upper-case hex digits
// without colons; nullopt unless exactly 64 hex digits remain.
std::optional<std::string> NormalizeTlsFingerprint(std::string_view Text);
// 64 hex digits (as NormalizeTlsFingerprint returns) -> "AB:CD:..." (95 characters).
std::string FormatTlsFingerprint(std::string_view Normalized);

} // namespace tarn
