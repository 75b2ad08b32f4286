#pragma once

// End-to-end runs of the real tarnsp program in console mode against a real tools/testftpd on
// 127.0.0.1: a scratch folder per test (holding the profile, the script, the download folder
// and a TMPDIR of its own), a profile that points at the server, and the outcome of one run.

#include "tests/common/test_ftp_server.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tarn::test {

struct TRunOutcome
{
    int Status = -1; // the exit status; -1 for a crash or a run that had to be killed
    std::string Out; // standard output: the log
    std::string Err; // standard error
    double Seconds = 0;

    // The log's lines, without their line ends.
    std::vector<std::string> Lines() const;
    bool HasLine(const std::string &Line) const;
    // The index of the first line that starts with `Prefix`, or -1.
    int LineStarting(const std::string &Prefix) const;
};

class PlayerRunTest : public ::testing::Test
{
protected:
    static constexpr const char *Password = "s3cr#t-Pw";

    void SetUp() override;

    // Starts the server with the folder `Root/"server"` as its root.
    void StartServer(const std::string &Personality, std::vector<std::string> ExtraArgs = {});

    // Writes profile.tnc for the running server (or for `Port` when given).
    void WriteProfile(const std::string &HostDir = "/", const std::string &Timeout = "20",
                      int Port = 0, const std::string &Connection = "LAN",
                      const std::string &ProfilePassword = Password);

    // Writes the script and runs `tarnsp --console script.tns` in the scratch folder, whose
    // "config" folder is the run's XDG_CONFIG_HOME.
    TRunOutcome Run(const std::string &Script, int KillAfterSeconds = 90);
    // The same in two steps, for tests that act on the running program (signals): Start
    // returns once the program runs, Finish waits for its end (killing it after the time).
    std::unique_ptr<QProcess> Start(const std::string &Script,
                                    const QStringList &Arguments = {"--console", "script.tns"});
    TRunOutcome Finish(QProcess &Process, int KillAfterSeconds = 90);
    // Waits up to `Seconds` for `Condition`, keeping the output of `Process` read.
    bool WaitFor(const std::function<bool()> &Condition, double Seconds = 20);

    std::string PathOf(const std::string &Relative) const { return (FRoot / Relative).string(); }
    std::string ServerPath(const std::string &Relative) const
    {
        return (FRoot / "server" / Relative).string();
    }
    void Write(const std::string &Path, const std::string &Content) const;
    std::string Read(const std::string &Path) const;
    bool Exists(const std::string &Path) const { return std::filesystem::exists(Path); }

    // Bytes 0 to 255 several times over, CR LF and lone LF included: any text-mode conversion
    // or cut shows.
    static std::string BinaryContent(std::size_t Size);

    std::filesystem::path FRoot;
    std::unique_ptr<TTestFtpServer> FServer;
    // Set for the runs of tarnsp in addition to this process's environment.
    std::vector<std::pair<std::string, std::string>> FEnvironment;
    // Removed from the environment of the runs of tarnsp.
    std::vector<std::string> FRemovedEnvironment;

private:
    QTemporaryDir FDir;
    QElapsedTimer FStarted;
};

// The checks every run must pass: the password never reaches the log or the console.
void ExpectNoPassword(const TRunOutcome &Outcome, const std::string &Password);

} // namespace tarn::test
