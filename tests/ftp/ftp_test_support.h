#pragma once

#include "ftp/ftp_client.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>
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

// A test with a fresh local folder of its own, removed afterwards.
class TLocalFolderTest : public ::testing::Test
{
protected:
    QTemporaryDir FDir;
    std::string Local(const std::string &Name)
    {
        return FDir.filePath(QString::fromStdString(Name)).toStdString();
    }
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

// Runs a RestGet (the engine offers it asynchronously only) until its completion notice comes;
// the notice's error code, 9999 when none came.
inline uint16_t RunRestGet(TFtpHarness &H)
{
    DeliverPosted();
    H.Done.clear();
    H.Ftp.RestGetAsync();
    EXPECT_TRUE(PumpUntil([&] { return !H.Done.empty(); }));
    return H.Done.empty() ? uint16_t(9999) : H.Done.back().Error;
}

// Count bytes of every value, the same for the same Seed.
inline std::string RandomBytes(std::size_t Count, unsigned Seed)
{
    std::mt19937 generator(Seed);
    std::string bytes(Count, '\0');
    for (char &byte : bytes)
        byte = char(generator() & 0xff);
    return bytes;
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
