#include "dialup/dial_up.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace tarn {

namespace {

// A phone book in memory that records every call made to it.
class FakeBackend : public TDialUpBackend
{
public:
    std::vector<std::string> Book = {"Office VPN", "Mobile"};
    std::vector<TRasConn> Active;
    int EnumResult = rrSuccess;
    int DialResult = rrSuccess;
    THRasConn NextHandle = 40;
    std::vector<std::string> Calls;
    std::vector<std::pair<int, int>> AsyncProgress = {{0, 0}, {2, 0}, {8192, 0}};
    std::thread Worker;

    ~FakeBackend() override
    {
        if (Worker.joinable())
            Worker.join();
    }
    int EnumEntries(std::vector<std::string> &entries) override
    {
        Calls.push_back("EnumEntries");
        if (EnumResult == rrSuccess)
            entries = Book;
        return EnumResult;
    }
    int GetEntryDialParams(const std::string &entry) override
    {
        Calls.push_back("GetEntryDialParams " + entry);
        return std::find(Book.begin(), Book.end(), entry) == Book.end() ? rrNoSuchEntry : 0;
    }
    int Dial(const std::string &entry, THRasConn &handle, TNotifier notifier) override
    {
        Calls.push_back(std::string(notifier ? "DialAsync " : "Dial ") + entry);
        handle = ++NextHandle;
        if (notifier && DialResult == rrSuccess) {
            Worker = std::thread([this, notifier] {
                for (auto [state, error] : AsyncProgress)
                    notifier(state, error);
            });
        }
        return DialResult;
    }
    int HangUp(THRasConn handle) override
    {
        Calls.push_back("HangUp " + std::to_string(handle));
        return handle == 0 ? rrInvalidHandle : rrSuccess;
    }
    int EnumConnections(std::vector<TRasConn> &connections) override
    {
        connections = Active;
        return EnumResult;
    }
    int GetConnectStatus(THRasConn handle, TRasConnStatusA &status) override
    {
        status.State = handle == 7 ? 8192 : 2;
        status.DeviceType = "gsm";
        return rrSuccess;
    }
    std::string ErrorString(int code) override { return "error text " + std::to_string(code); }
};

struct Recorder
{
    std::vector<std::string> Events;

    void Attach(TDialUp &dialer)
    {
        dialer.OnEntryGet = [this](TDialUp *, const std::string &name) {
            Events.push_back("entry " + name);
        };
        dialer.OnDialing = [this](TDialUp *d) { Events.push_back("dialing " + d->Entry); };
        dialer.OnConnect = [this](TDialUp *d) { Events.push_back("connect " + d->Entry); };
        dialer.OnNotConnected = [this](TDialUp *, int code, const std::string &text) {
            Events.push_back("not connected " + std::to_string(code) + " " + text);
        };
        dialer.OnError = [this](TDialUp *, int code, const std::string &text) {
            Events.push_back("error " + std::to_string(code) + " " + text);
        };
        dialer.OnAsyncEvent = [this](TDialUp *, int state, int error, const std::string &text) {
            Events.push_back("async " + std::to_string(state) + " " + std::to_string(error) + " " +
                             text);
        };
        dialer.OnActiveConnection = [this](TDialUp *, THRasConn handle,
                                           const TRasConnStatusA &status,
                                           const std::string &statusText, const std::string &entry,
                                           const std::string &type, const std::string &device) {
            Events.push_back("active " + std::to_string(handle) + " " +
                             std::to_string(status.State) + " " + statusText + " " + entry +
                             " " + type + " " + device);
        };
    }
};

class DialUp : public ::testing::Test
{
protected:
    DialUp() : Backend(new FakeBackend), Dialer(std::unique_ptr<TDialUpBackend>(Backend))
    {
        Dialer.DialMode = dmSync;
        Events.Attach(Dialer);
    }

    FakeBackend *Backend;
    TDialUp Dialer;
    Recorder Events;
};

TEST_F(DialUp, ListsTheEntriesInOrder)
{
    Dialer.Entries = {"stale"};
    EXPECT_EQ(Dialer.GetEntries(), 0);
    EXPECT_EQ(Dialer.Entries, Backend->Book);
    EXPECT_EQ(Events.Events, (std::vector<std::string>{"entry Office VPN", "entry Mobile"}));

    Backend->EnumResult = rrBufferTooSmall;
    Events.Events.clear();
    EXPECT_EQ(Dialer.GetEntries(), rrBufferTooSmall);
    EXPECT_TRUE(Dialer.Entries.empty());
    EXPECT_TRUE(Events.Events.empty());
}

TEST_F(DialUp, SynchronousDialHangsUpThePreviousLineFirst)
{
    EXPECT_EQ(Dialer.HangUp(), rrInvalidHandle) << "no dial yet: handle 0";
    Dialer.Entry = "Office VPN";
    EXPECT_EQ(Dialer.Dial(), 0);
    EXPECT_EQ(Dialer.Handle(), 41);
    Dialer.Entry = "Mobile";
    EXPECT_EQ(Dialer.Dial(), 0);
    EXPECT_EQ(Backend->Calls,
              (std::vector<std::string>{"HangUp 0", "HangUp 0", "GetEntryDialParams Office VPN",
                                        "Dial Office VPN", "HangUp 41", "GetEntryDialParams Mobile",
                                        "Dial Mobile"}));
    EXPECT_EQ(Events.Events, (std::vector<std::string>{"dialing Office VPN", "connect Office VPN",
                                                       "dialing Mobile", "connect Mobile"}));
    Backend->Calls.clear();
    EXPECT_EQ(Dialer.HangUp(), 0);
    EXPECT_EQ(Dialer.HangUpConnection(7), 0);
    EXPECT_EQ(Backend->Calls, (std::vector<std::string>{"HangUp 42", "HangUp 7"}));
}

TEST_F(DialUp, FailedDialReportsAndHangsUpTheHalfMadeLine)
{
    Dialer.Entry = "Nowhere";
    EXPECT_EQ(Dialer.Dial(), rrNoSuchEntry);
    EXPECT_EQ(Events.Events, (std::vector<std::string>{"error 623 GetEntryDialParams failed"}))
        << "nothing dialled, no OnDialing";

    Events.Events.clear();
    Backend->Calls.clear();
    Backend->DialResult = rrDialFailed;
    Dialer.Entry = "Mobile";
    EXPECT_EQ(Dialer.Dial(), rrDialFailed);
    EXPECT_EQ(Events.Events,
              (std::vector<std::string>{"dialing Mobile", "not connected 651 error text 651"}));
    EXPECT_EQ(Backend->Calls.back(), "HangUp 41");
}

TEST_F(DialUp, ListsActiveConnectionsWithTheirStateText)
{
    EXPECT_EQ(Dialer.GetConnections(), 0);
    EXPECT_TRUE(Events.Events.empty());
    Backend->Active = {{7, "Mobile", "gsm", "ttyUSB0"}, {9, "Office VPN", "vpn", "tun0"}};
    EXPECT_EQ(Dialer.GetConnections(), 0);
    EXPECT_EQ(Events.Events,
              (std::vector<std::string>{"active 7 8192 Connected Mobile gsm ttyUSB0",
                                        "active 9 2 Connecting device Office VPN vpn tun0"}));
}

TEST_F(DialUp, StateTextsInBothLanguages)
{
    EXPECT_EQ(Dialer.StatusText(0, 0), "Opening port");
    EXPECT_EQ(Dialer.StatusText(4099, 0), "Password expired");
    EXPECT_EQ(Dialer.StatusText(22, 0), "");
    EXPECT_EQ(Dialer.StatusText(8192, 651), "error text 651");
    Dialer.Language = Czech;
    EXPECT_EQ(QString::fromStdString(Dialer.StatusText(0, 0)),
              QString("Otev\u00edr\u00e1 se port"));
    EXPECT_EQ(QString::fromStdString(Dialer.StatusText(21, 0)),
              QString("P\u0159ipojuje se na s\u00ed\u0165"));
    EXPECT_EQ(QString::fromStdString(Dialer.StatusText(8193, 0)), QString("Rozpojeno"));
}

TEST_F(DialUp, AsynchronousProgressArrivesOnTheOwnersThreadInOrder)
{
    Dialer.DialMode = dmAsync;
    Dialer.Entry = "Mobile";
    std::vector<std::thread::id> threads;
    auto record = Dialer.OnAsyncEvent;
    Dialer.OnAsyncEvent = [&](TDialUp *d, int state, int error, const std::string &text) {
        threads.push_back(std::this_thread::get_id());
        record(d, state, error, text);
    };
    EXPECT_EQ(Dialer.Dial(), 0);
    EXPECT_EQ(Events.Events, std::vector<std::string>{"dialing Mobile"});
    QElapsedTimer clock;
    clock.start();
    while (Events.Events.size() < 4 && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(Events.Events,
              (std::vector<std::string>{"dialing Mobile", "async 0 0 Opening port",
                                        "async 2 0 Connecting device", "async 8192 0 Connected"}));
    for (std::thread::id id : threads)
        EXPECT_EQ(id, std::this_thread::get_id());
}

TEST_F(DialUp, AsynchronousDialThatCannotStartFiresOnError)
{
    Dialer.DialMode = dmAsync;
    Dialer.Entry = "Mobile";
    Backend->DialResult = rrNoService;
    EXPECT_EQ(Dialer.Dial(), rrNoService);
    EXPECT_EQ(Events.Events,
              (std::vector<std::string>{"dialing Mobile", "error 711 error text 711"}));
}

TEST(DialUpTeardown, DestroyingWhileNotificationsWaitDoesNotHang)
{
    auto *backend = new FakeBackend;
    backend->AsyncProgress.assign(50, {2, 0});
    auto dialer = std::make_unique<TDialUp>(std::unique_ptr<TDialUpBackend>(backend));
    dialer->Entry = "Mobile";
    EXPECT_EQ(dialer->Dial(), 0);
    // No event loop runs, so the mailbox stays full and the backend's thread waits on it.
    dialer.reset();
    SUCCEED();
}

} // namespace

} // namespace tarn
