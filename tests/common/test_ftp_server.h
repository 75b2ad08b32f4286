#pragma once

#include <memory>
#include <string>
#include <vector>

class QProcess;
class QTemporaryDir;

// How to start tools/testftpd for one test.
struct TestFtpServerOptions
{
    std::string personality = "unix"; // unix, windows or os400
    std::string root; // empty: a fresh temporary folder owned and removed by the server object
    std::string user = "tester";
    std::string password = "secret";
    std::vector<std::string> extraArgs; // fault switches, TLS and personality options
    // Clients reach the server through a relay that records the control connections' bytes
    // (WireFromClient, WireFromServer).
    bool RecordWire = false;
};

// A real FTP server process on 127.0.0.1 for the length of a test. The constructor returns
// once the server listens (or throws std::runtime_error with its standard error output); the
// destructor stops it and waits for it to end.
class TestFtpServer
{
public:
    explicit TestFtpServer(TestFtpServerOptions options = {});
    ~TestFtpServer();
    TestFtpServer(const TestFtpServer &) = delete;
    TestFtpServer &operator=(const TestFtpServer &) = delete;

    int port() const { return m_port; }
    const std::string &root() const { return m_root; }

    // A server started with "--tls explicit" or "--tls implicit" in extraArgs: the folder
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
    std::string serverError() const;
    std::string ReadWorkFile(const char *name) const;

    TestFtpServerOptions m_options;
    std::unique_ptr<QTemporaryDir> m_workDir; // holds the stderr log and, if needed, the root
    std::unique_ptr<QProcess> m_process;
    std::string m_root;
    int m_port = 0;
};
