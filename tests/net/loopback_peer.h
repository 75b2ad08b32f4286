#pragma once

// Plain POSIX peers on 127.0.0.1 for the socket tests, and a helper that runs the event loop
// until a condition holds.

#include <cstdint>
#include <functional>
#include <string>

namespace tarn {

class TCustomWSocket;
class TWSocket;

// Runs the calling thread's event loop until Done() or TimeoutMs pass; returns Done().
bool RunUntil(const std::function<bool()> &Done, int TimeoutMs = 5000);
// Runs the event loop for a fixed time (to show that something does NOT happen).
void RunFor(int Milliseconds);

// A listening blocking socket on 127.0.0.1 with a port the system chose.
class TRawListener
{
public:
    TRawListener();
    ~TRawListener();
    uint16_t Port() const { return FPort; }
    std::string PortText() const { return std::to_string(FPort); }
    // Accepts one connection (waiting at most TimeoutMs while running the event loop); -1 on
    // time-out. The caller owns the handle.
    int Accept(int TimeoutMs = 5000);

private:
    int FHandle = -1;
    uint16_t FPort = 0;
};

// A port on 127.0.0.1 with nothing listening on it.
uint16_t ClosedPort();

// Reads exactly Count bytes from a blocking handle, running the event loop meanwhile so that the
// socket under test keeps sending; fewer when the peer closes or TimeoutMs pass.
std::string ReadExactly(int Handle, size_t Count, int TimeoutMs = 5000);
// Writes all bytes to a blocking handle.
void WriteAll(int Handle, const std::string &Bytes);
// Fills the socket's send buffer (and the peer's receive buffer) until the system refuses more;
// returns the bytes it took.
size_t FillSendBuffer(int Handle);

// Connects S to the listener on 127.0.0.1, accepts, and runs the loop until S is connected.
// Returns the peer's handle, or -1 when the connection did not come up.
int ConnectAndAccept(TWSocket &S, TRawListener &Listener);
// One Receive on S; what it reads is appended to Into.
void ReceiveInto(TCustomWSocket *S, std::string &Into);

} // namespace tarn
