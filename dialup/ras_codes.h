#pragma once

namespace tarn {

// The result codes of every dial-up operation (TDialUp and its backends). They keep the numbers
// of the classic remote-access error codes, so that logs read the same on every platform.
enum TRasResult {
    // The operation succeeded.
    rrSuccess = 0,
    // HangUp or HangUpConnection on a handle that names no connection of this program (also
    // HangUp before any dial, handle 0).
    rrInvalidHandle = 6,
    // More than 100 phone-book entries or active connections; the list stays empty.
    rrBufferTooSmall = 603,
    // The entry does not exist (Dial, and the entry a backend was asked to activate).
    rrNoSuchEntry = 623,
    // The line could not be made or taken down: the connection failed to activate, it is busy,
    // the wait for it ran out, or deactivation failed. The backend's text says which.
    rrDialFailed = 651,
    // There is no dial-up service: NetworkManager (nmcli) is not installed or not running.
    rrNoService = 711,
};

} // namespace tarn
