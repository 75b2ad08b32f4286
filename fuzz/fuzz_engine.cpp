// The whole engine against a loopback server that plays the input. The input is cut at every
// 0xFF byte into pieces; the server greets with the first, answers each command line with the
// next, sends the piece after a LIST or RETR reply on the data connection (then closes it),
// plays one more piece whenever the engine waits with nothing to read, and closes the control
// connection when the pieces run out. The engine runs a session: Connect, SYST, PWD, CWD to the
// directory PWD gave, SIZE, a binary RETR, LIST, a raw command and QUIT, as far as it stays
// connected. Checks, for every request:
// - it completes, also when the server goes silent or away (no hang);
// - OnRequestDone reports 0 exactly when the request succeeded;
// - a success carries an accepted code in StatusCode and LastResponse, and LastResponse is a
//   line the server sent after the request's last command;
// - a download that succeeded holds the bytes sent, one that failed leaves no file;
// - no command line holds a control character, and nothing shown holds one but the tab, nor
//   the password as a word of its own.
#include "ftp/custom_ftp_cli.h"
#include "ftp/ftp_parse.h"
#include "ftp/remote_names.h"
#include "fuzz/fuzz_check.h"
#include "support/text.h"

#include <QCoreApplication>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tarn {
namespace {

// It starts with a digit, which caret notation never writes: shown text can hold it only when
// the server sent it.
constexpr const char *Password = "7xQzPw";

// The engine with the result of its last request in view.
class TFuzzFtp : public TCustomFtpCli
{
public:
    int DoneResult() const { return FDoneResult; }
    uint64_t RequestsDone() const { return FRequestsDone; }
};

void SetNonBlocking(int Fd)
{
    ::fcntl(Fd, F_SETFL, ::fcntl(Fd, F_GETFL) | O_NONBLOCK);
}

int ListeningSocket()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
        ::listen(fd, 4) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        std::abort();
    SetNonBlocking(fd);
    return fd;
}

// The server's side of one session.
class TPeer
{
public:
    TPeer(int Listener, std::vector<std::string> Pieces)
        : FListener(Listener), FPieces(std::move(Pieces))
    {
    }
    ~TPeer()
    {
        CloseControl();
        CloseData();
    }

    // One round of the server's work; true when anything happened.
    bool Pump()
    {
        bool moved = false;
        if (FControl < 0 && !FControlDone) {
            FControl = ::accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (FControl < 0)
                return false;
            PlayNext();
            moved = true;
        }
        char buffer[4096];
        while (FControl >= 0) {
            const ssize_t n = ::recv(FControl, buffer, sizeof buffer, 0);
            if (n == 0) {
                CloseControl();
                moved = true;
            }
            if (n <= 0)
                break;
            FReceived.append(buffer, std::size_t(n));
            moved = true;
        }
        for (std::size_t end; (end = FReceived.find('\n')) != std::string::npos;) {
            const std::string line = FReceived.substr(0, end + 1);
            FReceived.erase(0, end + 1);
            Command(line);
        }
        if (FData >= 0) { // drain what the engine sends or its close
            const ssize_t n = ::recv(FData, buffer, sizeof buffer, 0);
            if (n == 0)
                CloseData();
            moved = moved || n >= 0;
        }
        return moved;
    }

    // The engine waits with nothing to read: one more piece, or the end.
    void Idle()
    {
        if (FNext < FPieces.size())
            PlayNext();
        else
            CloseControl();
    }

    bool Accepted() const { return FControl >= 0 || FControlDone; }
    bool Finished() const { return FControlDone && FNext >= FPieces.size(); }
    const std::string &SinceCommand() const { return FSinceCommand; }
    const std::string &DataSent() const { return FDataSent; }

private:
    void Command(const std::string &Line)
    {
        // The command ends in CR LF; nothing before it may be a control character.
        FUZZ_CHECK(Line.size() >= 2 && Line.compare(Line.size() - 2, 2, "\r\n") == 0);
        const std::string command = Line.substr(0, Line.size() - 2);
        FUZZ_CHECK(!HasControl(command));
        FSinceCommand.clear();
        if (command.starts_with("PORT "))
            ConnectData(command.substr(5));
        PlayNext();
        if (command.starts_with("RETR") || command.starts_with("LIST")) {
            FDataSent.clear();
            if (FData >= 0 && FNext < FPieces.size()) {
                FDataSent = FPieces[FNext++];
                Send(FData, FDataSent);
            }
            CloseData();
        }
    }

    void PlayNext()
    {
        if (FNext >= FPieces.size()) {
            CloseControl();
            return;
        }
        const std::string &piece = FPieces[FNext++];
        FSinceCommand += piece;
        Send(FControl, piece);
    }

    static void Send(int Fd, const std::string &Bytes)
    {
        std::size_t done = 0;
        while (Fd >= 0 && done < Bytes.size()) {
            const ssize_t n = ::send(Fd, Bytes.data() + done, Bytes.size() - done, MSG_NOSIGNAL);
            if (n < 0 && errno == EAGAIN) {
                std::this_thread::sleep_for(std::chrono::microseconds(50));
                continue;
            }
            if (n <= 0)
                return;
            done += std::size_t(n);
        }
    }

    void ConnectData(const std::string &Address)
    {
        CloseData();
        unsigned h[6] = {};
        if (std::sscanf(Address.c_str(), "%u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &h[4],
                        &h[5]) != 6)
            return;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK); // never anywhere else
        address.sin_port = htons(uint16_t(h[4] * 256 + h[5]));
        FData = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(FData, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
            CloseData();
            return;
        }
        SetNonBlocking(FData);
    }

    void CloseControl()
    {
        if (FControl >= 0)
            ::close(FControl);
        FControl = -1;
        FControlDone = true;
    }

    void CloseData()
    {
        if (FData >= 0)
            ::close(FData);
        FData = -1;
    }

    int FListener;
    int FControl = -1;
    bool FControlDone = false;
    int FData = -1;
    std::vector<std::string> FPieces;
    std::size_t FNext = 0;
    std::string FReceived;
    std::string FSinceCommand; // control bytes sent since the last command line arrived
    std::string FDataSent;     // the bytes of the last data connection
};

struct TSession
{
    TFuzzFtp Ftp;
    TPeer *Peer = nullptr;
    bool Done = false;
    uint16_t Error = 0;
};

// Runs one request to its end; false when it could not start (an exception) or found the
// engine offline.
bool Run(TSession &S, void (TCustomFtpCli::*Operation)(), std::vector<int> Accepted)
{
    static const bool verbose = std::getenv("TARN_FUZZ_VERBOSE") != nullptr;
    S.Done = false;
    const uint64_t before = S.Ftp.RequestsDone();
    try {
        (S.Ftp.*Operation)();
    } catch (const std::exception &) {
        return false;
    }
    int quiet = 0;
    for (long round = 0; !(S.Done && S.Ftp.RequestsDone() > before); ++round) {
        QCoreApplication::processEvents();
        const bool moved = S.Peer->Pump();
        quiet = moved ? 0 : quiet + 1;
        if (!S.Peer->Accepted()) {
            // The name lookup runs on a thread of its own.
            std::this_thread::sleep_for(std::chrono::microseconds(20));
            FUZZ_CHECK(round < 200000);
        } else if (quiet >= 4 && S.Peer->Finished()) {
            FUZZ_CHECK(quiet < 2000); // the server is gone: the request must end
        } else if (quiet >= 4) {
            S.Peer->Idle();
            quiet = 0;
        }
    }
    const bool success = S.Ftp.DoneResult() == 0;
    FUZZ_CHECK((S.Error == 0) == success);
    if (success) {
        bool accepted = Accepted.empty() ? S.Ftp.StatusCode() < 500 : false;
        for (const int code : Accepted)
            accepted = accepted || code == S.Ftp.StatusCode();
        FUZZ_CHECK(accepted && S.Ftp.StatusCode() > 0);
        FUZZ_CHECK(ReplyCode(S.Ftp.LastResponse()) == S.Ftp.StatusCode());
        const std::string &reply = S.Ftp.LastResponse();
        if (verbose)
            std::fprintf(stderr, "(done: %s)\n", PrintableText(reply).c_str());
        // (A line holding the password reads masked: it is not looked for.)
        const bool masked = UpperCaseAscii(S.Peer->SinceCommand()).find(UpperCaseAscii(Password)) !=
                            std::string::npos;
        if (!masked && reply.size() < TFtpReplyAssembler::BufferSize - 1 &&
            Operation != &TCustomFtpCli::QuitAsync) {
            const std::string sent = "\n" + S.Peer->SinceCommand();
            FUZZ_CHECK(sent.find("\n" + reply + "\n") != std::string::npos ||
                       sent.find("\n" + reply + "\r\n") != std::string::npos);
        }
    }
    return true;
}

// Word occurs in Text, in any letter case, with no letter or digit right before or after it.
// (The engine leaves a password that is part of a longer word, so that a short one does not
// blot out the log.)
bool StandsAsWord(const std::string &Text, const std::string &Word)
{
    const std::string text = UpperCaseAscii(Text);
    const std::string word = UpperCaseAscii(Word);
    const auto wordChar = [](char C) { return std::isalnum(static_cast<unsigned char>(C)) != 0; };
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
        const std::size_t end = at + word.size();
        if ((at == 0 || !wordChar(text[at - 1])) && (end == text.size() || !wordChar(text[end])))
            return true;
    }
    return false;
}

} // namespace
} // namespace tarn

extern "C" int LLVMFuzzerInitialize(int *Argc, char ***Argv)
{
    static QCoreApplication application(*Argc, *Argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size)
{
    using namespace tarn;
    static const int listener = ListeningSocket();
    const std::string &folder = ScratchFolder();
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);

    std::vector<std::string> pieces(1);
    for (std::size_t i = 0; i < Size; ++i) {
        if (Data[i] == 0xFF)
            pieces.emplace_back();
        else
            pieces.back() += char(Data[i]);
    }
    TPeer peer(listener, pieces);
    TSession s;
    s.Peer = &peer;
    s.Ftp.HostName = "127.0.0.1";
    s.Ftp.Port = std::to_string(ntohs(address.sin_port));
    s.Ftp.UserName = "fuzz";
    s.Ftp.PassWord = Password;
    s.Ftp.DisplayFlag = true;
    static const bool verbose = std::getenv("TARN_FUZZ_VERBOSE") != nullptr;
    s.Ftp.OnDisplay = [](TCustomFtpCli *, std::string &Msg) {
        if (verbose) // TARN_FUZZ_VERBOSE=1: the session's log, to see what an input does
            std::fprintf(stderr, "%s\n", Msg.c_str());
        FUZZ_CHECK(!HasControl(Msg, true));
        FUZZ_CHECK(!StandsAsWord(Msg, Password));
    };
    s.Ftp.OnRequestDone = [&s](TCustomFtpCli *, TFtpRequest, uint16_t Error) {
        s.Done = true;
        s.Error = Error;
    };

    const std::string local = folder + "/download";
    ::unlink(local.c_str());
    if (Run(s, &TCustomFtpCli::ConnectAsync, {230}) && s.Error == 0) {
        Run(s, &TCustomFtpCli::SystAsync, {215});
        Run(s, &TCustomFtpCli::PwdAsync, {250, 257});
        s.Ftp.HostDirName = PathFromPwdReply(s.Ftp.LastResponse());
        Run(s, &TCustomFtpCli::CwdAsync, {250, 257});
        s.Ftp.HostFileName = "f";
        Run(s, &TCustomFtpCli::SizeAsync, {213});
        s.Ftp.SetBinary(true);
        s.Ftp.LocalFileName = local;
        if (Run(s, &TCustomFtpCli::GetAsync, {226, 250})) {
            if (s.Error == 0)
                FUZZ_CHECK(ReadFile(local) == peer.DataSent());
            else
                FUZZ_CHECK(::access(local.c_str(), F_OK) != 0);
        }
        ::unlink(local.c_str());
        s.Ftp.HostFileName = s.Ftp.HostDirName;
        Run(s, &TCustomFtpCli::DirAsync, {226, 250});
        ::unlink(local.c_str());
        s.Ftp.LocalFileName = "SITE NAMEFMT 1";
        Run(s, &TCustomFtpCli::QuoteAsync, {});
        Run(s, &TCustomFtpCli::QuitAsync, {221});
    }
    return 0;
}
