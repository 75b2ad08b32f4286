#pragma once

#include "ftp/custom_ftp_cli.h"

#include <cstdint>

namespace tarn {

// The FTP engine with synchronous calls, as both programs use it. Each call starts the
// asynchronous operation, runs the event loop until the engine is idle again or Timeout
// seconds pass without progress, and returns true exactly when the request succeeded. Every
// exception (misuse, a failed argument check, a socket failure) is caught and gives false.
// After a call, StatusCode, LastResponse, ErrorMessage and SizeResult tell what happened.
//
// The wait sleeps on the event loop and is woken by the event that completes the request, so
// a call returns as soon as its reply is judged. Handlers run inside the call; a second call
// made from one of them while a request runs returns false ("FTP component not ready").
// A time-out aborts the request, closes both connections and sets StatusCode 426 and
// ErrorMessage "426 Timeout"; the caller must Connect again.
class TFtpClient : public TCustomFtpCli
{
public:
    TFtpClient();

    int Timeout = 15;           // seconds; 0 or less: no limit
    bool MultiThreaded = false; // the engine lives in a worker thread and waits on its loop
    int64_t Deadline = 0;       // tick count (ms) after which the running wait gives up

    bool Connect(); // Open, USER, PASS: HostName, Port, UserName, PassWord
    bool Cwd();     // HostDirName
    bool Pwd();     // the directory is read from LastResponse
    bool CDup();
    bool TypeSet(); // Binary
    bool Get();     // PORT, RETR: HostFileName to LocalFileName
    bool Put();     // PORT, STOR: LocalFileName to HostFileName
    bool Quit();
    bool Dir();    // PORT, LIST [HostFileName] to LocalFileName
    bool Mkd();    // HostFileName
    bool Rename(); // RNFR HostFileName, RNTO LocalFileName
    bool Dele();   // HostFileName
    bool Rmd();    // HostFileName
    bool Syst();
    bool Size();  // HostFileName; result in SizeResult
    bool Quote(); // the raw command in LocalFileName

protected:
    bool TriggerProgress() override;
    void RestartTimeout() override;

private:
    bool RunSync(void (TCustomFtpCli::*Operation)());
    bool WaitReady(uint64_t Started);
};

} // namespace tarn
