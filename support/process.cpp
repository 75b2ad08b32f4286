#include "support/process.h"

#include "support/command_line.h"
#include "support/text.h"

#include <cerrno>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <vector>

extern char **environ;

namespace tarn {

// A launcher thread does not call OnFinished of a TProcess that is gone: each holds this link,
// which the TProcess clears when it is destroyed. The mutex is recursive so that an
// OnFinished handler may itself destroy the TProcess.
struct TProcess::TLink
{
    std::recursive_mutex Mutex;
    TProcess *Owner;
};

namespace {

// Starts the program; returns its pid, or -1 when it could not be started.
pid_t Spawn(const std::vector<std::string> &Words, const std::string &Directory)
{
    std::vector<char *> argv;
    for (const std::string &word : Words)
        argv.push_back(const_cast<char *>(word.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!Directory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, Directory.c_str());
    // The child gets the default signal dispositions and an empty mask, whatever this
    // program blocked or ignored for its own threads.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    sigaddset(&signals, SIGPIPE);
    sigaddset(&signals, SIGCHLD);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    const int result = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return result == 0 ? pid : -1;
}

std::int32_t ExitCodeOf(int Status)
{
    if (WIFEXITED(Status))
        return WEXITSTATUS(Status);
    if (WIFSIGNALED(Status))
        return 128 + WTERMSIG(Status);
    return -1;
}

} // namespace

TProcess::TProcess() : FLink(std::make_shared<TLink>())
{
    FLink->Owner = this;
}

TProcess::~TProcess()
{
    std::lock_guard lock(FLink->Mutex);
    FLink->Owner = nullptr;
}

void TProcess::Execute()
{
    Directory = Trim(Directory, tsControls);
    std::vector<std::string> words = SplitCommandLine(Command);
    if (words.empty())
        return;
    const bool report = Wait;
    // A system that refuses the thread starts nothing, silently, like any other failure.
    try {
        std::thread(Launch, FLink, std::move(words), Directory, report).detach();
    } catch (const std::system_error &) {
    }
}

void TProcess::Launch(std::shared_ptr<TLink> Link, std::vector<std::string> Words,
                      std::string Directory, bool Report)
{
    const pid_t pid = Spawn(Words, Directory);
    if (pid < 0)
        return;
    int status = 0;
    pid_t waited;
    do {
        waited = waitpid(pid, &status, 0);
    } while (waited < 0 && errno == EINTR);
    if (!Report || waited != pid)
        return;
    std::lock_guard lock(Link->Mutex);
    if (!Link->Owner || !Link->Owner->OnFinished)
        return;
    // A copy, so that a handler that destroys its TProcess does not destroy itself.
    const TProcessEvent handler = Link->Owner->OnFinished;
    handler(Link->Owner, ExitCodeOf(status));
}

} // namespace tarn
