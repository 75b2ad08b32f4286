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

ScriptedPeer::ScriptedPeer()
{
    ListenSocket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(ListenSocket, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
        ::listen(ListenSocket, 4) != 0 ||
        ::getsockname(ListenSocket, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        throw std::runtime_error("scripted peer cannot listen");
    ListenPort = ntohs(address.sin_port);
}

ScriptedPeer::~ScriptedPeer()
{
    Finish();
    for (int socket : {ListenSocket, ControlSocket, DataSocket})
        if (socket >= 0)
            ::close(socket);
}

ScriptedPeer &ScriptedPeer::Send(const std::string &Bytes)
{
    Steps.push_back([this, Bytes] {
        WriteAll(ControlSocket, Bytes);
        return true;
    });
    return *this;
}

ScriptedPeer &ScriptedPeer::Expect(const std::string &Reply)
{
    Steps.push_back([this, Reply] {
        std::string line;
        if (!ReadLine(line))
            return false;
        {
            std::lock_guard guard(Lock);
            Received.push_back(line);
        }
        if (!Reply.empty())
            WriteAll(ControlSocket, Reply);
        return true;
    });
    return *this;
}

ScriptedPeer &ScriptedPeer::Pause(int Milliseconds)
{
    Steps.push_back([Milliseconds] {
        std::this_thread::sleep_for(std::chrono::milliseconds(Milliseconds));
        return true;
    });
    return *this;
}

ScriptedPeer &ScriptedPeer::Close()
{
    Steps.push_back([this] {
        ::close(ControlSocket);
        ControlSocket = -1;
        return true;
    });
    return *this;
}

ScriptedPeer &ScriptedPeer::DataConnect()
{
    Steps.push_back([this] {
        if (DataSocket >= 0)
            ::close(DataSocket);
        DataSocket = ConnectToLastPort("127.0.0.1");
        return DataSocket >= 0;
    });
    return *this;
}

int ScriptedPeer::ConnectToLastPort(const std::string &From)
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
    if (::bind(socket, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0 ||
        ::connect(socket, reinterpret_cast<sockaddr *>(&target), sizeof target) != 0) {
        ::close(socket);
        return -1;
    }
    return socket;
}

ScriptedPeer &ScriptedPeer::DataSend(const std::string &Bytes)
{
    Steps.push_back([this, Bytes] {
        WriteAll(DataSocket, Bytes);
        return true;
    });
    return *this;
}

ScriptedPeer &ScriptedPeer::DataReceiveAll()
{
    Steps.push_back([this] {
        char block[65536];
        for (;;) {
            if (!WaitReadable(DataSocket))
                return false;
            const ssize_t count = ::recv(DataSocket, block, sizeof block, 0);
            if (count <= 0)
                return true;
            std::lock_guard guard(Lock);
            Data.append(block, std::size_t(count));
        }
    });
    return *this;
}

ScriptedPeer &ScriptedPeer::DataClose()
{
    Steps.push_back([this] {
        ::close(DataSocket);
        DataSocket = -1;
        return true;
    });
    return *this;
}

ScriptedPeer &ScriptedPeer::Run(std::function<void()> Action)
{
    Steps.push_back([Action] {
        Action();
        return true;
    });
    return *this;
}

void ScriptedPeer::Start()
{
    Player = std::thread([this] { Play(); });
}

void ScriptedPeer::Finish()
{
    if (Player.joinable())
        Player.join();
}

void ScriptedPeer::Play()
{
    if (!WaitReadable(ListenSocket)) {
        std::lock_guard guard(Lock);
        Failure = true;
        return;
    }
    ControlSocket = ::accept(ListenSocket, nullptr, nullptr);
    for (auto &step : Steps)
        if (!step()) {
            std::lock_guard guard(Lock);
            Failure = true;
            return;
        }
}

bool ScriptedPeer::ReadLine(std::string &Line)
{
    for (;;) {
        const std::size_t end = Pending.find("\r\n");
        if (end != std::string::npos) {
            Line = Pending.substr(0, end);
            Pending.erase(0, end + 2);
            return true;
        }
        if (ControlSocket < 0 || !WaitReadable(ControlSocket))
            return false;
        char block[4096];
        const ssize_t count = ::recv(ControlSocket, block, sizeof block, 0);
        if (count <= 0)
            return false;
        Pending.append(block, std::size_t(count));
    }
}

void ScriptedPeer::WriteAll(int Socket, const std::string &Bytes)
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

std::vector<std::string> ScriptedPeer::Commands()
{
    std::lock_guard guard(Lock);
    return Received;
}

std::string ScriptedPeer::DataReceived()
{
    std::lock_guard guard(Lock);
    return Data;
}

bool ScriptedPeer::Failed()
{
    std::lock_guard guard(Lock);
    return Failure;
}

} // namespace tarn
