#pragma once

#include "support/show_window.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tarn {

// Starts another program from a command line.
//
//     TProcess Process1;
//     Process1.Command = "/usr/bin/tarnsp \"/tmp/~TG1.TMP\" /R /X /D";
//     Process1.Execute();               // returns at once
//
// `Command` is split into words like a shell splits them (see SplitCommandLine): the first word
// names the program, searched for on PATH unless it holds a "/", the rest are its arguments.
// `Directory`, when not empty after trimming, is the new program's working directory.
//
// Every Execute starts the program from a short-lived thread of its own, which always waits for
// it so that no zombie is left behind. When `Wait` is true that thread then calls `OnFinished`
// with the program's exit code (128 + the signal number for a program killed by a signal). The
// handler runs on the launcher's thread, not the caller's: hand any window work to the main
// thread yourself. With `Wait` false the program is forgotten and `OnFinished` is never called.
//
// Failures pass silently: an empty command, a program that cannot be found or started, or a
// working directory that does not exist start nothing and call nothing.
//
// The properties are read when Execute is called (and `Directory` is trimmed and written back
// then), so they may be changed for the next start as soon as Execute returns. Destroying the
// TProcess does not stop programs it started; it only makes sure no later OnFinished reaches it.
class TProcess
{
public:
    using TProcessEvent = std::function<void(TProcess *Sender, std::int32_t ExitCode)>;

    TProcess();
    ~TProcess();
    TProcess(const TProcess &) = delete;
    TProcess &operator=(const TProcess &) = delete;

    std::string Command;
    std::string Directory;
    TShowWindow ShowWindow = swHide;
    bool Wait = false;
    TProcessEvent OnFinished;

    void Execute();

private:
    struct TLink;
    // The launcher thread's body: starts the program, waits for it and reports.
    static void Launch(std::shared_ptr<TLink> Link, std::vector<std::string> Words,
                       std::string Directory, bool Report);

    std::shared_ptr<TLink> FLink;
};

} // namespace tarn
