#pragma once

// End-to-end runs of the real tarnsp program in console mode against a real tools/testftpd on
// 127.0.0.1: a scratch folder per test (holding the profile, the script, the download folder
// and a TMPDIR of its own), a profile that points at the server, and the outcome of one run.

#include "tests/common/test_ftp_server.h"

#include <QTemporaryDir>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tarn::test {

struct RunOutcome
{
    int Status = -1; // the exit status; -1 for a crash or a run that had to be killed
    std::string Out; // standard output: the log
    std::string Err; // standard error
    double Seconds = 0;

    // The log's lines, without their line ends.
    std::vector<std::string> Lines() const;
    bool HasLine(const std::string &line) const;
    // The index of the first line that starts with `prefix`, or -1.
    int LineStarting(const std::string &prefix) const;
};

class PlayerRunTest : public ::testing::Test
{
protected:
    static constexpr const char *Password = "s3cr#t-Pw";

    void SetUp() override;

    // Starts the server with the folder `Root/"server"` as its root.
    void StartServer(const std::string &personality, std::vector<std::string> extraArgs = {});

    // Writes profile.tnc for the running server (or for `port` when given).
    void WriteProfile(const std::string &hostDir = "/", const std::string &timeout = "20",
                      int port = 0, const std::string &connection = "LAN",
                      const std::string &password = Password);

    // Writes the script and runs `tarnsp --console script.tns` in the scratch folder.
    RunOutcome Run(const std::string &script, int killAfterSeconds = 90);

    std::string PathOf(const std::string &relative) const { return (Root / relative).string(); }
    std::string ServerPath(const std::string &relative) const
    {
        return (Root / "server" / relative).string();
    }
    void Write(const std::string &path, const std::string &content) const;
    std::string Read(const std::string &path) const;
    bool Exists(const std::string &path) const { return std::filesystem::exists(path); }

    // Bytes 0 to 255 several times over, CR LF and lone LF included: any text-mode conversion
    // or cut shows.
    static std::string BinaryContent(std::size_t size);

    std::filesystem::path Root;
    std::unique_ptr<TestFtpServer> Server;
    // Set for the runs of tarnsp in addition to this process's environment.
    std::vector<std::pair<std::string, std::string>> Environment;

private:
    QTemporaryDir m_Dir;
};

// The checks every run must pass: the password never reaches the log or the console.
void ExpectNoPassword(const RunOutcome &outcome, const std::string &password);

} // namespace tarn::test
