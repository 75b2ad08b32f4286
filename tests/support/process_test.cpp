#include "support/process.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <dlfcn.h>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <pthread.h>
#include <thread>

// Thread creation of this test program passes through here, so that a test can make the
// system refuse new threads for the calling thread, as it does when a process hits its limit.
static thread_local bool RefuseThreads = false;

extern "C" int pthread_create(pthread_t *Thread, const pthread_attr_t *Attributes,
                              void *(*Start)(void *), void *Argument)
{
    using TCreate = int (*)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);
    static const auto real = reinterpret_cast<TCreate>(dlsym(RTLD_NEXT, "pthread_create"));
    if (RefuseThreads)
        return EAGAIN;
    return real(Thread, Attributes, Start, Argument);
}

namespace tarn {

using namespace std::chrono_literals;

namespace {

// Collects OnFinished calls from the launcher's thread.
struct TFinished
{
    std::mutex Mutex;
    std::condition_variable Changed;
    std::vector<std::int32_t> Codes;
    std::vector<std::thread::id> Threads;
    std::vector<TProcess *> Senders;

    TProcess::TProcessEvent Handler()
    {
        return [this](TProcess *Sender, std::int32_t Code) {
            std::lock_guard lock(Mutex);
            Codes.push_back(Code);
            Threads.push_back(std::this_thread::get_id());
            Senders.push_back(Sender);
            Changed.notify_all();
        };
    }
    bool WaitFor(size_t Count, std::chrono::milliseconds Limit = 10s)
    {
        std::unique_lock lock(Mutex);
        return Changed.wait_for(lock, Limit, [&] { return Codes.size() >= Count; });
    }
    size_t Count()
    {
        std::lock_guard lock(Mutex);
        return Codes.size();
    }
};

bool WaitForFile(const QString &Path, std::chrono::milliseconds Limit = 10s)
{
    const auto deadline = std::chrono::steady_clock::now() + Limit;
    while (std::chrono::steady_clock::now() < deadline) {
        QFile file(Path);
        if (file.open(QIODevice::ReadOnly) && file.size() > 0)
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

TEST(Process, WaitReportsTheExitCodeOnTheLaunchersThread)
{
    TFinished finished;
    TProcess process;
    process.Wait = true;
    process.OnFinished = finished.Handler();
    process.Command = "/bin/sh -c \"exit 7\"";
    process.Execute();
    process.Command = "/bin/true";
    process.Execute();
    ASSERT_TRUE(finished.WaitFor(2));
    std::sort(finished.Codes.begin(), finished.Codes.end());
    EXPECT_EQ(finished.Codes, (std::vector<std::int32_t>{0, 7}));
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_NE(finished.Threads[i], std::this_thread::get_id());
        EXPECT_EQ(finished.Senders[i], &process);
    }

    // A program killed by a signal reports 128 + the signal number.
    process.Command = "/bin/sh -c 'kill -9 $$'";
    process.Execute();
    ASSERT_TRUE(finished.WaitFor(3));
    EXPECT_EQ(finished.Codes[2], 128 + 9);
}

TEST(Process, ArgumentsAndDirectoryReachTheProgram)
{
    QTemporaryDir dir;
    const QString work = dir.path() + "/work dir";
    ASSERT_TRUE(QDir().mkpath(work));
    TFinished finished;
    TProcess process;
    process.Wait = true;
    process.OnFinished = finished.Handler();
    process.Directory = "  \t" + work.toStdString() + "  ";
    process.Command = "sh -c 'pwd > out.txt; printf \"%s\\n\" \"$@\" >> out.txt' sh \"two words\" "
                      "plain 'single quoted'";
    process.Execute();
    EXPECT_EQ(process.Directory, work.toStdString()) << "trimmed and written back";
    ASSERT_TRUE(finished.WaitFor(1));
    EXPECT_EQ(finished.Codes[0], 0);
    std::ifstream out((work + "/out.txt").toStdString());
    std::string line;
    std::vector<std::string> lines;
    while (std::getline(out, line))
        lines.push_back(line);
    EXPECT_EQ(lines, (std::vector<std::string>{work.toStdString(), "two words", "plain",
                                               "single quoted"}));
}

TEST(Process, WithoutWaitNothingIsReportedAndNoZombieStays)
{
    QTemporaryDir dir;
    const QString pidFile = dir.path() + "/pid";
    TFinished finished;
    TProcess process;
    process.OnFinished = finished.Handler();
    process.Command = "/bin/sh -c 'echo $$ > " + pidFile.toStdString() + "'";
    process.Execute();
    ASSERT_TRUE(WaitForFile(pidFile));
    std::ifstream in(pidFile.toStdString());
    int pid = 0;
    in >> pid;
    ASSERT_GT(pid, 0);
    // The child has ended once it wrote its pid; it must be reaped, not left as a zombie.
    const std::string proc = "/proc/" + std::to_string(pid);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (QFile::exists(QString::fromStdString(proc)) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(proc))) << "zombie left behind";
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(finished.Count(), 0u);
}

TEST(Process, FailuresPassSilently)
{
    QTemporaryDir dir;
    TFinished finished;
    TProcess process;
    process.Wait = true;
    process.OnFinished = finished.Handler();

    process.Command = "";
    process.Execute();
    process.Command = "/nonexistent/program --flag";
    process.Execute();
    process.Command = "no-such-program-anywhere-on-path";
    process.Execute();
    const QString marker = dir.path() + "/ran";
    process.Directory = (dir.path() + "/missing").toStdString();
    process.Command = "/bin/sh -c 'touch " + marker.toStdString() + "'";
    process.Execute();

    // An unbalanced quote still starts the program, with the rest of the line as one word.
    process.Directory.clear();
    process.Command = "/bin/sh -c \"exit 3";
    process.Execute();
    ASSERT_TRUE(finished.WaitFor(1));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(finished.Codes, (std::vector<std::int32_t>{3}));
    EXPECT_FALSE(QFile::exists(marker)) << "started in a directory that does not exist";

    // No thread to start the program from: nothing starts and nothing is thrown.
    process.Command = "/bin/sh -c 'touch " + marker.toStdString() + "'";
    RefuseThreads = true;
    EXPECT_NO_THROW(process.Execute());
    RefuseThreads = false;
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(QFile::exists(marker));
    EXPECT_EQ(finished.Count(), 1u);
}

TEST(Process, DestroyedLauncherIsNotCalledBack)
{
    QTemporaryDir dir;
    const QString marker = dir.path() + "/done";
    auto calls = std::make_shared<std::atomic<int>>(0);
    {
        TProcess process;
        process.Wait = true;
        process.OnFinished = [calls](TProcess *, std::int32_t) { ++*calls; };
        process.Command = "/bin/sh -c 'sleep 0.3; echo x > " + marker.toStdString() + "'";
        process.Execute();
    }
    ASSERT_TRUE(WaitForFile(marker));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(*calls, 0);
}

TEST(Process, HandlerMayDestroyItsLauncher)
{
    TFinished finished;
    auto *process = new TProcess;
    process->Wait = true;
    process->OnFinished = [handler = finished.Handler()](TProcess *Sender, std::int32_t Code) {
        delete Sender;
        handler(nullptr, Code);
    };
    process->Command = "/bin/true";
    process->Execute();
    ASSERT_TRUE(finished.WaitFor(1));
    EXPECT_EQ(finished.Codes[0], 0);
}

} // namespace

} // namespace tarn
