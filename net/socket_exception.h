#pragma once

#include <stdexcept>
#include <string>

namespace tarn {

// The socket layer's exception: a message text only. Raised by the socket's operations unless
// its OnError event is assigned (see TCustomWSocket::RaiseException).
class ESocketException : public std::runtime_error
{
public:
    explicit ESocketException(const std::string &Msg) : std::runtime_error(Msg) {}
};

} // namespace tarn
