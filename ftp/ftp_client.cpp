#include "ftp/ftp_client.h"

#include "net/wsocket.h"
#include "support/text.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <exception>

namespace tarn {

TFtpClient::TFtpClient() = default;

bool TFtpClient::Connect()
{
    return RunSync(&TCustomFtpCli::ConnectAsync);
}

bool TFtpClient::Cwd()
{
    return RunSync(&TCustomFtpCli::CwdAsync);
}

bool TFtpClient::Pwd()
{
    return RunSync(&TCustomFtpCli::PwdAsync);
}

bool TFtpClient::CDup()
{
    return RunSync(&TCustomFtpCli::CDupAsync);
}

bool TFtpClient::TypeSet()
{
    return RunSync(&TCustomFtpCli::TypeSetAsync);
}

bool TFtpClient::Get()
{
    return RunSync(&TCustomFtpCli::GetAsync);
}

bool TFtpClient::Put()
{
    return RunSync(&TCustomFtpCli::PutAsync);
}

bool TFtpClient::Quit()
{
    return RunSync(&TCustomFtpCli::QuitAsync);
}

bool TFtpClient::Dir()
{
    return RunSync(&TCustomFtpCli::DirAsync);
}

bool TFtpClient::Mkd()
{
    return RunSync(&TCustomFtpCli::MkdAsync);
}

bool TFtpClient::Rename()
{
    return RunSync(&TCustomFtpCli::RenameAsync);
}

bool TFtpClient::Dele()
{
    return RunSync(&TCustomFtpCli::DeleAsync);
}

bool TFtpClient::Rmd()
{
    return RunSync(&TCustomFtpCli::RmdAsync);
}

bool TFtpClient::Syst()
{
    return RunSync(&TCustomFtpCli::SystAsync);
}

bool TFtpClient::Size()
{
    return RunSync(&TCustomFtpCli::SizeAsync);
}

bool TFtpClient::Quote()
{
    return RunSync(&TCustomFtpCli::QuoteAsync);
}

bool TFtpClient::RunSync(void (TCustomFtpCli::*Operation)())
{
    try {
        const uint64_t started = FRequestsDone;
        (this->*Operation)();
        return WaitReady(started);
    } catch (const std::exception &Error) {
        // Refused before anything was sent (misuse, an argument, a command text, the port) or
        // a failure of the socket layer: the caller learns why from ErrorMessage.
        FErrorMessage = PrintableText(Error.what());
        return false;
    } catch (...) {
        return false;
    }
}

bool TFtpClient::WaitReady(uint64_t Started)
{
    Deadline = FtpTickCount() + int64_t(Timeout) * 1000;
    // Wakes the sleeping loop at the deadline; progress pushes the deadline back, and the
    // timer is armed again for the rest when it fires early.
    QTimer alarm;
    alarm.setSingleShot(true);
    alarm.setTimerType(Qt::PreciseTimer);
    for (;;) {
        if (FRequestsDone != Started)
            return FDoneResult == 0;
        if (State() == fsReady)
            return StepResult == 0;
        const int64_t now = FtpTickCount();
        if (Timeout > 0) {
            if (now > Deadline) {
                Abort();
                FErrorMessage = FLastResponse = "426 Timeout";
                FStatusCode = 426;
                return false;
            }
            // The timer takes at most INT_MAX milliseconds (some 24 days); a longer wait wakes
            // up once on the way.
            if (!alarm.isActive())
                alarm.start(int(std::min<int64_t>(Deadline - now + 1, INT_MAX)));
        }
        // Sleeps until an event comes: the reply, a socket notice or the alarm. A wait in a
        // worker thread (MultiThreaded) sleeps on that thread's own loop the same way.
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

bool TFtpClient::TriggerProgress()
{
    const bool result = TCustomFtpCli::TriggerProgress();
    RestartTimeout();
    return result;
}

void TFtpClient::RestartTimeout()
{
    if (Timeout > 0)
        Deadline = FtpTickCount() + int64_t(Timeout) * 1000;
}

} // namespace tarn
