#include "tests/ftp/scripted_peer.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace tarn {

namespace {

constexpr int ReadTimeoutMs = 5000;

bool WaitReadable(int Socket)
{
    pollfd entry{Socket, POLLIN, 0};
    return ::poll(&entry, 1, ReadTimeoutMs) == 1;
}

} // namespace

TScriptedPeer::TScriptedPeer()
{
    FListenSocket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(FListenSocket, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
        ::listen(FListenSocket, 4) != 0 ||
        ::getsockname(FListenSocket, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        throw std::runtime_error("scripted peer cannot listen");
    FListenPort = ntohs(address.sin_port);
}

TScriptedPeer::~TScriptedPeer()
{
    Finish();
    for (int socket : {FListenSocket, ControlSocket, DataSocket})
        if (socket >= 0)
            ::close(socket);
}

TScriptedPeer &TScriptedPeer::Send(const std::string &Bytes)
{
    FSteps.push_back([this, Bytes] {
        WriteAll(ControlSocket, Bytes);
        return true;
    });
    return *this;
}

TScriptedPeer &TScriptedPeer::Expect(const std::string &Reply)
{
    FSteps.push_back([this, Reply] {
        std::string line;
        if (!ReadLine(line))
            return false;
        {
            std::lock_guard guard(FLock);
            FReceived.push_back(line);
        }
        if (!Reply.empty())
            WriteAll(ControlSocket, Reply);
        return true;
    });
    return *this;
}

TScriptedPeer &TScriptedPeer::Pause(int Milliseconds)
{
    FSteps.push_back([Milliseconds] {
        std::this_thread::sleep_for(std::chrono::milliseconds(Milliseconds));
        return true;
    });
    return *this;
}

TScriptedPeer &TScriptedPeer::Close()
{
    FSteps.push_back([this] {
        ::close(ControlSocket);
        ControlSocket = -1;
        return true;
    });
    return *this;
}

TScriptedPeer &TScriptedPeer::DataConnect()
{
    FSteps.push_back([this] {
        if (DataSocket >= 0)
            ::close(DataSocket);
        DataSocket = ConnectToLastPort("127.0.0.1");
        return DataSocket >= 0;
    });
    return *this;
}

int TScriptedPeer::ConnectToLastPort(const std::string &From, const std::string &To)
{
    std::string port;
    for (const std::string &line : Commands())
        if (line.rfind("PORT ", 0) == 0)
            port = line.substr(5);
    unsigned h[6] = {};
    if (std::sscanf(port.c_str(), "%u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &h[4], &h[5]) !=
        6)
        return -1;
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, From.c_str(), &local.sin_addr);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = htonl(h[0] << 24 | h[1] << 16 | h[2] << 8 | h[3]);
    target.sin_port = htons(uint16_t(h[4] * 256 + h[5]));
    if (!To.empty())
        ::inet_pton(AF_INET, To.c_str(), &target.sin_addr);
    if (::bind(socket, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0 ||
        ::connect(socket, reinterpret_cast<sockaddr *>(&target), sizeof target) != 0) {
        ::close(socket);
        return -1;
    }
    return socket;
}

TScriptedPeer &TScriptedPeer::DataSend(const std::string &Bytes)
{
    FSteps.push_back([this, Bytes] {
        WriteAll(DataSocket, Bytes);
        return true;
    });
    return *this;
}

TScriptedPeer &TScriptedPeer::DataReceiveAll()
{
    FSteps.push_back([this] {
        char block[65536];
        for (;;) {
            if (!WaitReadable(DataSocket))
                return false;
            const ssize_t count = ::recv(DataSocket, block, sizeof block, 0);
            if (count <= 0)
                return true;
            std::lock_guard guard(FLock);
            FData.append(block, std::size_t(count));
        }
    });
    return *this;
}

TScriptedPeer &TScriptedPeer::DataClose()
{
    FSteps.push_back([this] {
        ::close(DataSocket);
        DataSocket = -1;
        return true;
    });
    return *this;
}

TScriptedPeer &TScriptedPeer::Run(std::function<void()> Action)
{
    FSteps.push_back([Action] {
        Action();
        return true;
    });
    return *this;
}

TScriptedPeer &TScriptedPeer::LoggedIn()
{
    return Send("220 ready\r\n").Expect("331 pw\r\n").Expect("230 in\r\n");
}

void TScriptedPeer::Start()
{
    FPlayer = std::thread([this] { Play(); });
}

void TScriptedPeer::Finish()
{
    if (FPlayer.joinable())
        FPlayer.join();
}

void TScriptedPeer::Play()
{
    if (!WaitReadable(FListenSocket)) {
        std::lock_guard guard(FLock);
        FFailed = true;
        return;
    }
    ControlSocket = ::accept(FListenSocket, nullptr, nullptr);
    for (auto &step : FSteps)
        if (!step()) {
            std::lock_guard guard(FLock);
            FFailed = true;
            return;
        }
}

bool TScriptedPeer::ReadLine(std::string &Line)
{
    for (;;) {
        const std::size_t end = FPending.find("\r\n");
        if (end != std::string::npos) {
            Line = FPending.substr(0, end);
            FPending.erase(0, end + 2);
            return true;
        }
        if (ControlSocket < 0 || !WaitReadable(ControlSocket))
            return false;
        char block[4096];
        const ssize_t count = ::recv(ControlSocket, block, sizeof block, 0);
        if (count <= 0)
            return false;
        FPending.append(block, std::size_t(count));
    }
}

void TScriptedPeer::WriteAll(int Socket, const std::string &Bytes)
{
    std::size_t done = 0;
    while (done < Bytes.size()) {
        const ssize_t count =
            ::send(Socket, Bytes.data() + done, Bytes.size() - done, MSG_NOSIGNAL);
        if (count <= 0)
            return;
        done += std::size_t(count);
    }
}

std::vector<std::string> TScriptedPeer::Commands()
{
    std::lock_guard guard(FLock);
    return FReceived;
}

std::string TScriptedPeer::DataReceived()
{
    std::lock_guard guard(FLock);
    return FData;
}

bool TScriptedPeer::Failed()
{
    std::lock_guard guard(FLock);
    return FFailed;
}

} // namespace tarn
