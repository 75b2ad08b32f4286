#pragma once

#include "ftp/ftp_client.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace tarn {

// An engine set up for 127.0.0.1:Port that records its log, with a few helpers the FTP tests
// share.
struct TFtpHarness
{
    explicit TFtpHarness(int Port, std::string User = "u", std::string Password = "p")
    {
        Ftp.HostName = "127.0.0.1";
        Ftp.Port = std::to_string(Port);
        Ftp.UserName = std::move(User);
        Ftp.PassWord = std::move(Password);
        Ftp.Timeout = 10;
        Ftp.OnDisplay = [this](TCustomFtpCli *, std::string &Msg) { Log.push_back(Msg); };
        Ftp.OnRequestDone = [this](TCustomFtpCli *, TFtpRequest RqType, uint16_t Error) {
            Done.push_back({RqType, Error});
        };
    }

    // A failing test shows the engine's log.
    ~TFtpHarness()
    {
        if (::testing::Test::HasFailure())
            for (const std::string &line : Log)
                std::fprintf(stderr, "  log: %s\n", line.substr(0, 200).c_str());
    }

    bool Logged(const std::string &Line) const
    {
        for (const std::string &line : Log)
            if (line == Line)
                return true;
        return false;
    }

    bool LoggedPrefix(const std::string &Prefix) const
    {
        for (const std::string &line : Log)
            if (line.rfind(Prefix, 0) == 0)
                return true;
        return false;
    }

    struct TDoneNotice
    {
        TFtpRequest RqType;
        uint16_t Error;
        bool operator==(const TDoneNotice &) const = default;
    };

    TFtpClient Ftp;
    std::vector<std::string> Log;
    std::vector<TDoneNotice> Done;
};

// Runs the event loop until Condition holds or Seconds pass; returns Condition().
template <typename F> bool PumpUntil(F Condition, int Seconds = 10)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(Seconds);
    while (!Condition() && std::chrono::steady_clock::now() < end)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return Condition();
}

// Delivers the completion notices still posted by earlier synchronous calls.
inline void DeliverPosted()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

inline std::string ReadFile(const std::string &Name)
{
    std::ifstream in(Name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string &Name, const std::string &Bytes)
{
    std::ofstream(Name, std::ios::binary | std::ios::trunc) << Bytes;
}

} // namespace tarn
