#pragma once

#include <memory>
#include <string>
#include <vector>

class QProcess;
class QTemporaryDir;

namespace tarn {

// How to start tools/testftpd for one test.
struct TTestFtpServerOptions
{
    std::string Personality = "unix"; // unix, windows or os400
    std::string Root; // empty: a fresh temporary folder owned and removed by the server object
    std::string User = "tester";
    std::string Password = "secret";
    std::vector<std::string> ExtraArgs; // fault switches, TLS and personality options
    // Clients reach the server through a relay that records the control connections' bytes
    // (WireFromClient, WireFromServer).
    bool RecordWire = false;
};

// A real FTP server process on 127.0.0.1 for the length of a test. The constructor returns
// once the server listens (or throws std::runtime_error with its standard error output); the
// destructor stops it and waits for it to end.
class TTestFtpServer
{
public:
    explicit TTestFtpServer(TTestFtpServerOptions Options = {});
    ~TTestFtpServer();
    TTestFtpServer(const TTestFtpServer &) = delete;
    TTestFtpServer &operator=(const TTestFtpServer &) = delete;

    int Port() const { return FPort; }
    const std::string &Root() const { return FRoot; }

    // A server started with "--tls explicit" or "--tls implicit" in ExtraArgs: the folder
    // holding its certificate (cert.pem), the certificate that signed it (ca.pem: a local
    // CA's with "--tls-issuer ca", else the certificate itself) and its key, and the
    // certificate's SHA-256 fingerprint as "openssl x509 -fingerprint -sha256" prints it.
    std::string TlsFolder() const;
    std::string CertificateFingerprint() const;

    // With RecordWire: the bytes clients sent on the control connection so far, and those
    // the server sent, exactly as they crossed the wire (TLS records included).
    std::string WireFromClient() const;
    std::string WireFromServer() const;

private:
    std::string ServerError() const;
    std::string ReadWorkFile(const char *Name) const;

    TTestFtpServerOptions FOptions;
    std::unique_ptr<QTemporaryDir> FWorkDir; // holds the stderr log and, if needed, the root
    std::unique_ptr<QProcess> FProcess;
    std::string FRoot;
    int FPort = 0;
};

} // namespace tarn
