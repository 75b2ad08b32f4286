#include "dialup/dial_up.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <atomic>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>

namespace tarn {

namespace {

// How often the calling thread has given up the processor of its own accord (slept or waited).
long VoluntarySwitches()
{
    std::ifstream status("/proc/thread-self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
            return std::stol(line.substr(line.find(':') + 1));
    }
    return -1;
}

// A phone book in memory that records every call made to it.
class TFakeBackend : public TDialUpBackend
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
    // Shared with the test, which may outlive the backend: notifications that have returned to
    // the worker, and the times the worker's thread gave up the processor while notifying.
    std::shared_ptr<std::atomic<int>> Returned = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<std::atomic<long>> WorkerSwitches = std::make_shared<std::atomic<long>>(-1);

    ~TFakeBackend() override
    {
        if (Worker.joinable())
            Worker.join();
    }
    int EnumEntries(std::vector<std::string> &Entries) override
    {
        Calls.push_back("EnumEntries");
        if (EnumResult == rrSuccess)
            Entries = Book;
        return EnumResult;
    }
    int GetEntryDialParams(const std::string &Entry) override
    {
        Calls.push_back("GetEntryDialParams " + Entry);
        return std::find(Book.begin(), Book.end(), Entry) == Book.end() ? rrNoSuchEntry : 0;
    }
    int Dial(const std::string &Entry, THRasConn &Handle, TNotifier Notifier) override
    {
        Calls.push_back(std::string(Notifier ? "DialAsync " : "Dial ") + Entry);
        Handle = ++NextHandle;
        if (Notifier && DialResult == rrSuccess) {
            Worker = std::thread([this, Notifier] {
                const long before = VoluntarySwitches();
                for (auto [state, error] : AsyncProgress) {
                    Notifier(state, error);
                    ++*Returned;
                }
                *WorkerSwitches = VoluntarySwitches() - before;
            });
        }
        return DialResult;
    }
    int HangUp(THRasConn Handle) override
    {
        Calls.push_back("HangUp " + std::to_string(Handle));
        return Handle == 0 ? rrInvalidHandle : rrSuccess;
    }
    int EnumConnections(std::vector<TRasConn> &Connections) override
    {
        Connections = Active;
        return EnumResult;
    }
    int GetConnectStatus(THRasConn Handle, TRasConnStatusA &Status) override
    {
        Status.State = Handle == 7 ? 8192 : 2;
        Status.DeviceType = "gsm";
        return rrSuccess;
    }
    std::string ErrorString(int Code) override { return "error text " + std::to_string(Code); }
};

struct TRecorder
{
    std::vector<std::string> Events;

    void Attach(TDialUp &Dialer)
    {
        Dialer.OnEntryGet = [this](TDialUp *, const std::string &Name) {
            Events.push_back("entry " + Name);
        };
        Dialer.OnDialing = [this](TDialUp *D) { Events.push_back("dialing " + D->Entry); };
        Dialer.OnConnect = [this](TDialUp *D) { Events.push_back("connect " + D->Entry); };
        Dialer.OnNotConnected = [this](TDialUp *, int Code, const std::string &Text) {
            Events.push_back("not connected " + std::to_string(Code) + " " + Text);
        };
        Dialer.OnError = [this](TDialUp *, int Code, const std::string &Text) {
            Events.push_back("error " + std::to_string(Code) + " " + Text);
        };
        Dialer.OnAsyncEvent = [this](TDialUp *, int State, int Error, const std::string &Text) {
            Events.push_back("async " + std::to_string(State) + " " + std::to_string(Error) + " " +
                             Text);
        };
        Dialer.OnActiveConnection = [this](TDialUp *, THRasConn Handle,
                                           const TRasConnStatusA &Status,
                                           const std::string &StatusText, const std::string &Entry,
                                           const std::string &Type, const std::string &Device) {
            Events.push_back("active " + std::to_string(Handle) + " " +
                             std::to_string(Status.State) + " " + StatusText + " " + Entry + " " +
                             Type + " " + Device);
        };
    }
};

class DialUp : public ::testing::Test
{
protected:
    DialUp() : FBackend(new TFakeBackend), FDialer(std::unique_ptr<TDialUpBackend>(FBackend))
    {
        FDialer.DialMode = dmSync;
        FEvents.Attach(FDialer);
    }

    TFakeBackend *FBackend;
    TDialUp FDialer;
    TRecorder FEvents;
};

TEST_F(DialUp, ListsTheEntriesInOrder)
{
    FDialer.Entries = {"stale"};
    EXPECT_EQ(FDialer.GetEntries(), 0);
    EXPECT_EQ(FDialer.Entries, FBackend->Book);
    EXPECT_EQ(FEvents.Events, (std::vector<std::string>{"entry Office VPN", "entry Mobile"}));

    FBackend->EnumResult = rrBufferTooSmall;
    FEvents.Events.clear();
    EXPECT_EQ(FDialer.GetEntries(), rrBufferTooSmall);
    EXPECT_TRUE(FDialer.Entries.empty());
    EXPECT_TRUE(FEvents.Events.empty());
}

TEST_F(DialUp, SynchronousDialHangsUpThePreviousLineFirst)
{
    EXPECT_EQ(FDialer.HangUp(), rrInvalidHandle) << "no dial yet: handle 0";
    FDialer.Entry = "Office VPN";
    EXPECT_EQ(FDialer.Dial(), 0);
    EXPECT_EQ(FDialer.Handle(), 41);
    FDialer.Entry = "Mobile";
    EXPECT_EQ(FDialer.Dial(), 0);
    EXPECT_EQ(FBackend->Calls,
              (std::vector<std::string>{"HangUp 0", "HangUp 0", "GetEntryDialParams Office VPN",
                                        "Dial Office VPN", "HangUp 41", "GetEntryDialParams Mobile",
                                        "Dial Mobile"}));
    EXPECT_EQ(FEvents.Events, (std::vector<std::string>{"dialing Office VPN", "connect Office VPN",
                                                        "dialing Mobile", "connect Mobile"}));
    FBackend->Calls.clear();
    EXPECT_EQ(FDialer.HangUp(), 0);
    EXPECT_EQ(FDialer.HangUpConnection(7), 0);
    EXPECT_EQ(FBackend->Calls, (std::vector<std::string>{"HangUp 42", "HangUp 7"}));
}

TEST_F(DialUp, FailedDialReportsAndHangsUpTheHalfMadeLine)
{
    FDialer.Entry = "Nowhere";
    EXPECT_EQ(FDialer.Dial(), rrNoSuchEntry);
    EXPECT_EQ(FEvents.Events, (std::vector<std::string>{"error 623 GetEntryDialParams failed"}))
        << "nothing dialled, no OnDialing";

    FEvents.Events.clear();
    FBackend->Calls.clear();
    FBackend->DialResult = rrDialFailed;
    FDialer.Entry = "Mobile";
    EXPECT_EQ(FDialer.Dial(), rrDialFailed);
    EXPECT_EQ(FEvents.Events,
              (std::vector<std::string>{"dialing Mobile", "not connected 651 error text 651"}));
    EXPECT_EQ(FBackend->Calls.back(), "HangUp 41");
}

TEST_F(DialUp, ListsActiveConnectionsWithTheirStateText)
{
    EXPECT_EQ(FDialer.GetConnections(), 0);
    EXPECT_TRUE(FEvents.Events.empty());
    FBackend->Active = {{7, "Mobile", "gsm", "ttyUSB0"}, {9, "Office VPN", "vpn", "tun0"}};
    EXPECT_EQ(FDialer.GetConnections(), 0);
    EXPECT_EQ(FEvents.Events,
              (std::vector<std::string>{"active 7 8192 Connected Mobile gsm ttyUSB0",
                                        "active 9 2 Connecting device Office VPN vpn tun0"}));
}

TEST_F(DialUp, StateTextsInBothLanguages)
{
    EXPECT_EQ(FDialer.StatusText(0, 0), "Opening port");
    EXPECT_EQ(FDialer.StatusText(4099, 0), "Password expired");
    EXPECT_EQ(FDialer.StatusText(22, 0), "");
    EXPECT_EQ(FDialer.StatusText(8192, 651), "error text 651");
    FDialer.Language = Czech;
    EXPECT_EQ(QString::fromStdString(FDialer.StatusText(0, 0)),
              QString("Otev\u00edr\u00e1 se port"));
    EXPECT_EQ(QString::fromStdString(FDialer.StatusText(21, 0)),
              QString("P\u0159ipojuje se na s\u00ed\u0165"));
    EXPECT_EQ(QString::fromStdString(FDialer.StatusText(8193, 0)), QString("Rozpojeno"));
}

TEST_F(DialUp, AsynchronousProgressArrivesOnTheOwnersThreadInOrder)
{
    FDialer.DialMode = dmAsync;
    FDialer.Entry = "Mobile";
    std::vector<std::thread::id> threads;
    auto record = FDialer.OnAsyncEvent;
    FDialer.OnAsyncEvent = [&](TDialUp *D, int State, int Error, const std::string &Text) {
        threads.push_back(std::this_thread::get_id());
        record(D, State, Error, Text);
    };
    EXPECT_EQ(FDialer.Dial(), 0);
    EXPECT_EQ(FEvents.Events, std::vector<std::string>{"dialing Mobile"});
    QElapsedTimer clock;
    clock.start();
    while (FEvents.Events.size() < 4 && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(FEvents.Events,
              (std::vector<std::string>{"dialing Mobile", "async 0 0 Opening port",
                                        "async 2 0 Connecting device", "async 8192 0 Connected"}));
    for (std::thread::id id : threads)
        EXPECT_EQ(id, std::this_thread::get_id());
}

TEST_F(DialUp, AsynchronousDialThatCannotStartFiresOnError)
{
    FDialer.DialMode = dmAsync;
    FDialer.Entry = "Mobile";
    FBackend->DialResult = rrNoService;
    EXPECT_EQ(FDialer.Dial(), rrNoService);
    EXPECT_EQ(FEvents.Events,
              (std::vector<std::string>{"dialing Mobile", "error 711 error text 711"}));
}

TEST(DialUpTeardown, DestroyingWhileNotificationsWaitDoesNotHang)
{
    auto *backend = new TFakeBackend;
    backend->AsyncProgress.assign(50, {2, 0});
    auto dialer = std::make_unique<TDialUp>(std::unique_ptr<TDialUpBackend>(backend));
    dialer->Entry = "Mobile";
    EXPECT_EQ(dialer->Dial(), 0);
    const auto returned = backend->Returned;
    // No event loop runs, so the mailbox stays full and the backend's thread waits on it. The
    // TDialUp going releases it: every notification returns, dropped, and the thread ends.
    dialer.reset();
    EXPECT_EQ(*returned, 50);
}

TEST_F(DialUp, ANotificationWaitingForTheMailboxSleepsUntilItIsFree)
{
    FDialer.DialMode = dmAsync;
    FDialer.Entry = "Mobile";
    ASSERT_EQ(FDialer.Dial(), 0);
    // The owner's loop is busy elsewhere for a while: the second notification waits for the
    // first to be taken, asleep, not checking again and again.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    QElapsedTimer clock;
    clock.start();
    while (FEvents.Events.size() < 4 && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(FEvents.Events.size(), 4u);
    FBackend->Worker.join();
    EXPECT_GE(*FBackend->WorkerSwitches, 0);
    EXPECT_LT(*FBackend->WorkerSwitches, 30);
}

} // namespace

} // namespace tarn
