#include "tests/integration/player_run.h"

#include "profile/connection_profile.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <fstream>
#include <sstream>

namespace tarn::test {

std::vector<std::string> RunOutcome::Lines() const
{
    std::vector<std::string> lines;
    std::istringstream in(Out);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

bool RunOutcome::HasLine(const std::string &line) const
{
    for (const std::string &candidate : Lines())
        if (candidate == line)
            return true;
    return false;
}

int RunOutcome::LineStarting(const std::string &prefix) const
{
    const std::vector<std::string> lines = Lines();
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].rfind(prefix, 0) == 0)
            return static_cast<int>(i);
    return -1;
}

void PlayerRunTest::SetUp()
{
    ASSERT_TRUE(m_Dir.isValid());
    Root = std::filesystem::canonical(m_Dir.path().toStdString());
    std::filesystem::create_directories(Root / "server");
    std::filesystem::create_directories(Root / "download");
    std::filesystem::create_directories(Root / "tmp");
}

void PlayerRunTest::StartServer(const std::string &personality, std::vector<std::string> extraArgs)
{
    TestFtpServerOptions options;
    options.personality = personality;
    options.root = (Root / "server").string();
    options.password = Password;
    options.extraArgs = std::move(extraArgs);
    Server = std::make_unique<TestFtpServer>(options);
}

void PlayerRunTest::WriteProfile(const std::string &hostDir, const std::string &timeout, int port,
                                 const std::string &connection, const std::string &password)
{
    TConnectionProfile profile;
    profile.Connection = connection;
    profile.URLOrIP = "127.0.0.1";
    profile.UserName = "tester";
    profile.PassWord = password;
    profile.Port = std::to_string(port ? port : Server->port());
    profile.Timeout = timeout;
    profile.LocalDir = PathOf("download");
    profile.HostDir = hostDir;
    ASSERT_TRUE(WriteConnectionProfile(PathOf("profile.tnc"), profile));
}

RunOutcome PlayerRunTest::Run(const std::string &script, int killAfterSeconds)
{
    Write(PathOf("script.tns"), script);
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TMPDIR", QString::fromStdString(PathOf("tmp")));
    for (const auto &[name, value] : Environment)
        environment.insert(QString::fromStdString(name), QString::fromStdString(value));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(QString::fromStdString(Root.string()));
    QElapsedTimer timer;
    timer.start();
    process.start(TARNSP_PROGRAM, {"--console", "script.tns"});
    RunOutcome outcome;
    if (!process.waitForStarted()) {
        ADD_FAILURE() << "tarnsp did not start";
        return outcome;
    }
    if (!process.waitForFinished(killAfterSeconds * 1000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "tarnsp still ran after " << killAfterSeconds << " s";
    }
    outcome.Seconds = timer.elapsed() / 1000.0;
    outcome.Out = process.readAllStandardOutput().toStdString();
    outcome.Err = process.readAllStandardError().toStdString();
    if (process.exitStatus() == QProcess::NormalExit)
        outcome.Status = process.exitCode();
    return outcome;
}

void PlayerRunTest::Write(const std::string &path, const std::string &content) const
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

std::string PlayerRunTest::Read(const std::string &path) const
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string PlayerRunTest::BinaryContent(std::size_t size)
{
    std::string content;
    content.reserve(size);
    for (std::size_t i = 0; i < size; ++i)
        content.push_back(static_cast<char>((i * 7 + i / 256) % 256));
    content.replace(0, 5, "a\r\nb\n");
    return content;
}

void ExpectNoPassword(const RunOutcome &outcome, const std::string &password)
{
    EXPECT_EQ(outcome.Out.find(password), std::string::npos) << outcome.Out;
    EXPECT_EQ(outcome.Err.find(password), std::string::npos) << outcome.Err;
}

} // namespace tarn::test
