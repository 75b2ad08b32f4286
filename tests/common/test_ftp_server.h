#pragma once

#include <memory>
#include <string>
#include <vector>

class QProcess;
class QTemporaryDir;

namespace tarn {

// How to start tools/testftpd for one test.
struct TestFtpServerOptions {
    std::string personality = "unix"; // unix, windows or os400
    std::string root; // empty: a fresh temporary folder owned and removed by the server object
    std::string user = "tester";
    std::string password = "secret";
    std::vector<std::string> extraArgs; // fault switches and personality options
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

private:
    std::string serverError() const;

    TestFtpServerOptions m_options;
    std::unique_ptr<QTemporaryDir> m_workDir; // holds the stderr log and, if needed, the root
    std::unique_ptr<QProcess> m_process;
    std::string m_root;
    int m_port = 0;
};

} // namespace tarn
