#pragma once

#include <stdexcept>
#include <string>

namespace tarn {

// Raised by the engine for misuse ("FTP component not ready") and for failed argument checks
// ("HostDirName emtpy"). The synchronous calls catch it and return false.
class FtpException : public std::runtime_error
{
public:
    explicit FtpException(const std::string &Message) : std::runtime_error(Message) {}
};

} // namespace tarn
