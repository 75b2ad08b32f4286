#include "player/profile_prompt.h"

#include "profile/connection_profile.h"
#include "support/text.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <termios.h>
#include <unistd.h>

namespace tarn {

namespace {

// The terminal's settings while echo is off, so that a signal can put them back.
struct termios SavedTerminal;
volatile sig_atomic_t TerminalFd = -1;

void RestoreTerminalAndDie(int Signal)
{
    if (TerminalFd >= 0)
        ::tcsetattr(TerminalFd, TCSANOW, &SavedTerminal);
    std::signal(Signal, SIG_DFL);
    std::raise(Signal);
}

// One line of `In` without its line end; no value at the end of the input.
std::optional<std::string> ReadLine(std::FILE *In)
{
    char *buffer = nullptr;
    std::size_t size = 0;
    const ssize_t got = ::getline(&buffer, &size, In);
    std::optional<std::string> line;
    if (got >= 0) {
        line.emplace(buffer, static_cast<std::size_t>(got));
        while (!line->empty() && (line->back() == '\n' || line->back() == '\r'))
            line->pop_back();
    }
    std::free(buffer);
    return line;
}

std::optional<std::string> ReadSecretLine(std::FILE *In, std::FILE *Prompt)
{
    const int fd = ::fileno(In);
    if (::tcgetattr(fd, &SavedTerminal) != 0)
        return ReadLine(In);
    struct termios quiet = SavedTerminal;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    TerminalFd = fd;
    auto *oldInt = std::signal(SIGINT, RestoreTerminalAndDie);
    auto *oldTerm = std::signal(SIGTERM, RestoreTerminalAndDie);
    ::tcsetattr(fd, TCSANOW, &quiet);
    std::optional<std::string> line = ReadLine(In);
    ::tcsetattr(fd, TCSANOW, &SavedTerminal);
    std::signal(SIGINT, oldInt);
    std::signal(SIGTERM, oldTerm);
    TerminalFd = -1;
    std::fputc('\n', Prompt);
    return line;
}

class TAsker
{
public:
    TAsker(std::FILE *In, std::FILE *Prompt, std::FILE *Err)
        : FIn(In), FPrompt(Prompt), FErr(Err), FTerminal(::isatty(::fileno(In)) != 0)
    {
    }

    // Asks for one field. `Valid` returns an error text for a wrong value, empty when fine.
    bool Ask(const char *Label, std::string &Value, bool Secret = false,
             const std::function<std::string(const std::string &)> &Valid = {})
    {
        for (;;) {
            if (FTerminal) {
                const std::string shown = Secret ? (Value.empty() ? "" : "keep") : Value;
                std::fprintf(FPrompt, "%s%s%s%s: ", Label, shown.empty() ? "" : " [", shown.c_str(),
                             shown.empty() ? "" : "]");
                std::fflush(FPrompt);
            }
            const std::optional<std::string> line =
                Secret && FTerminal ? ReadSecretLine(FIn, FPrompt) : ReadLine(FIn);
            std::string answer = line ? *line : std::string();
            if (!Secret)
                answer = Trim(answer, tsBlanks);
            const std::string candidate = answer.empty() ? Value : answer;
            const std::string problem = Valid ? Valid(candidate) : std::string();
            if (problem.empty()) {
                Value = candidate;
                return true;
            }
            std::fprintf(FErr, "tarnsp: %s: %s\n", Label, problem.c_str());
            // Without a terminal nobody can answer again; at the end of a terminal's input
            // neither.
            if (!FTerminal || !line)
                return false;
        }
    }

private:
    std::FILE *FIn;
    std::FILE *FPrompt;
    std::FILE *FErr;
    bool FTerminal;
};

} // namespace

int WriteProfileFromAnswers(const std::string &FileName, std::FILE *In, std::FILE *Prompt,
                            std::FILE *Err)
{
    TLocalFileError error;
    TConnectionProfile profile = ReadConnectionProfile(FileName, &error);
    if (error && error.Code != ENOENT) {
        std::fprintf(Err, "tarnsp: cannot read the profile \"%s\": %s\n", FileName.c_str(),
                     error.Text.c_str());
        return 2;
    }
    // The password asked for goes into the file, also for a profile that kept it in the
    // keyring: this is the way to a profile that runs where no keyring is.
    profile.PasswordStore = psProfile;
    if (error) {
        std::error_code ec;
        profile.LocalDir = std::filesystem::current_path(ec).string();
    }
    const auto required = [](const std::string &Value) {
        return Value.empty() ? std::string("a value is required") : std::string();
    };
    const auto wholeSeconds = [](const std::string &Value) {
        const std::optional<int> seconds = ParseWholeNumber(Value);
        return seconds && *seconds >= 0 ? std::string()
                                        : std::string("a whole number of seconds is required");
    };
    // The transport keys are judged as CONNECT will judge them.
    const auto understood = [](std::string TConnectionProfile::*Key) {
        return [Key](const std::string &Value) {
            TConnectionProfile candidate;
            candidate.*Key = Value;
            return ConnectionSecurity(candidate).Problem;
        };
    };
    TAsker asker(In, Prompt, Err);
    const bool answered = asker.Ask("Host name or address", profile.URLOrIP, false, required) &&
                          asker.Ask("User name", profile.UserName) &&
                          asker.Ask("Password", profile.PassWord, true) &&
                          asker.Ask("Port", profile.Port, false, required) &&
                          asker.Ask("Time-out in seconds", profile.Timeout, false, wholeSeconds) &&
                          asker.Ask("Local download folder", profile.LocalDir) &&
                          asker.Ask("Remote folder", profile.HostDir) &&
                          asker.Ask("Connection (LAN or a NetworkManager connection)",
                                    profile.Connection, false, required) &&
                          asker.Ask("Passive mode (0 or 1)", profile.Passive, false,
                                    understood(&TConnectionProfile::Passive)) &&
                          asker.Ask("Security (NONE, EXPLICIT or IMPLICIT)", profile.Security,
                                    false, understood(&TConnectionProfile::Security));
    if (!answered)
        return 2;
    if (!WriteConnectionProfile(FileName, profile)) {
        std::fprintf(Err, "tarnsp: cannot write the profile \"%s\"\n", FileName.c_str());
        return 2;
    }
    std::fprintf(Prompt, "Profile written to %s\n", FileName.c_str());
    return 0;
}

} // namespace tarn
