#include "tests/integration/player_run.h"

#include "profile/connection_profile.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <fstream>
#include <sstream>

namespace tarn::test {

std::vector<std::string> TRunOutcome::Lines() const
{
    std::vector<std::string> lines;
    std::istringstream in(Out);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

bool TRunOutcome::HasLine(const std::string &Line) const
{
    for (const std::string &candidate : Lines())
        if (candidate == Line)
            return true;
    return false;
}

int TRunOutcome::LineStarting(const std::string &Prefix) const
{
    const std::vector<std::string> lines = Lines();
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].rfind(Prefix, 0) == 0)
            return static_cast<int>(i);
    return -1;
}

void PlayerRunTest::SetUp()
{
    ASSERT_TRUE(FDir.isValid());
    FRoot = std::filesystem::canonical(FDir.path().toStdString());
    std::filesystem::create_directories(FRoot / "server");
    std::filesystem::create_directories(FRoot / "download");
    std::filesystem::create_directories(FRoot / "tmp");
}

void PlayerRunTest::StartServer(const std::string &Personality, std::vector<std::string> ExtraArgs)
{
    TTestFtpServerOptions options;
    options.Personality = Personality;
    options.Root = (FRoot / "server").string();
    options.Password = Password;
    options.ExtraArgs = std::move(ExtraArgs);
    FServer = std::make_unique<TTestFtpServer>(options);
}

void PlayerRunTest::WriteProfile(const std::string &HostDir, const std::string &Timeout, int Port,
                                 const std::string &Connection, const std::string &ProfilePassword)
{
    TConnectionProfile profile;
    profile.Connection = Connection;
    profile.URLOrIP = "127.0.0.1";
    profile.UserName = "tester";
    profile.PassWord = ProfilePassword;
    profile.Port = std::to_string(Port ? Port : FServer->Port());
    profile.Timeout = Timeout;
    profile.LocalDir = PathOf("download");
    profile.HostDir = HostDir;
    ASSERT_TRUE(WriteConnectionProfile(PathOf("profile.tnc"), profile));
}

TRunOutcome PlayerRunTest::Run(const std::string &Script, int KillAfterSeconds)
{
    const std::unique_ptr<QProcess> process = Start(Script);
    return process ? Finish(*process, KillAfterSeconds) : TRunOutcome();
}

std::unique_ptr<QProcess> PlayerRunTest::Start(const std::string &Script,
                                               const QStringList &Arguments)
{
    Write(PathOf("script.tns"), Script);
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TMPDIR", QString::fromStdString(PathOf("tmp")));
    // The settings and the trusted certificates are the test's own, never the user's.
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString(PathOf("config")));
    for (const auto &[name, value] : FEnvironment)
        environment.insert(QString::fromStdString(name), QString::fromStdString(value));
    for (const std::string &name : FRemovedEnvironment)
        environment.remove(QString::fromStdString(name));
    process->setProcessEnvironment(environment);
    process->setWorkingDirectory(QString::fromStdString(FRoot.string()));
    FStarted.start();
    process->start(TARNSP_PROGRAM, Arguments);
    if (!process->waitForStarted()) {
        ADD_FAILURE() << "tarnsp did not start";
        return nullptr;
    }
    return process;
}

TRunOutcome PlayerRunTest::Finish(QProcess &Process, int KillAfterSeconds)
{
    TRunOutcome outcome;
    if (!Process.waitForFinished(KillAfterSeconds * 1000)) {
        Process.kill();
        Process.waitForFinished();
        ADD_FAILURE() << "tarnsp still ran after " << KillAfterSeconds << " s";
    }
    outcome.Seconds = static_cast<double>(FStarted.elapsed()) / 1000.0;
    outcome.Out = Process.readAllStandardOutput().toStdString();
    outcome.Err = Process.readAllStandardError().toStdString();
    if (Process.exitStatus() == QProcess::NormalExit)
        outcome.Status = Process.exitCode();
    return outcome;
}

bool PlayerRunTest::WaitFor(const std::function<bool()> &Condition, double Seconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!Condition()) {
        if (timer.elapsed() > Seconds * 1000)
            return false;
        QThread::msleep(20);
    }
    return true;
}

void PlayerRunTest::Write(const std::string &Path, const std::string &Content) const
{
    std::filesystem::create_directories(std::filesystem::path(Path).parent_path());
    std::ofstream(Path, std::ios::binary) << Content;
}

std::string PlayerRunTest::Read(const std::string &Path) const
{
    std::ifstream in(Path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string PlayerRunTest::BinaryContent(std::size_t Size)
{
    std::string content;
    content.reserve(Size);
    for (std::size_t i = 0; i < Size; ++i)
        content.push_back(static_cast<char>((i * 7 + i / 256) % 256));
    content.replace(0, 5, "a\r\nb\n");
    return content;
}

void ExpectNoPassword(const TRunOutcome &Outcome, const std::string &Password)
{
    EXPECT_EQ(Outcome.Out.find(Password), std::string::npos) << Outcome.Out;
    EXPECT_EQ(Outcome.Err.find(Password), std::string::npos) << Outcome.Err;
}

} // namespace tarn::test
