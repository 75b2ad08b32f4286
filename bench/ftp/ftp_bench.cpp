// One benchmark case of the FTP engine per run, so that the runner can measure the process's
// wall time, CPU time and peak memory the same way it measures curl.
//
//   ftp_bench [--passive] [--tls FINGERPRINT] CASE PORT ARGS...
//
//   ftp_bench get   PORT REMOTE LOCAL   download REMOTE (binary) into LOCAL
//   ftp_bench put   PORT LOCAL REMOTE   upload LOCAL (binary) as REMOTE
//   ftp_bench quote PORT COUNT          COUNT sequential NOOP round trips
//   ftp_bench dir   PORT REMOTE LOCAL   list REMOTE (LIST) into LOCAL
//
// The server is on 127.0.0.1 and takes an anonymous login. --passive uses passive mode,
// --tls explicit TLS with the server's certificate pinned by its SHA-256 fingerprint. Exit
// status 0 when every call succeeded.
#include "ftp/ftp_client.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace tarn;

namespace {

int Fail(TFtpClient &Ftp, const char *What)
{
    std::fprintf(stderr, "ftp_bench: %s failed: %s\n", What, Ftp.ErrorMessage().c_str());
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TFtpClient ftp;
    for (; argc > 1 && argv[1][0] == '-'; --argc, ++argv) {
        if (std::string(argv[1]) == "--passive") {
            ftp.Passive = true;
        } else if (std::string(argv[1]) == "--tls" && argc > 2) {
            ftp.Security = TFtpSecurity::scExplicit;
            ftp.TlsFingerprint = argv[2];
            --argc;
            ++argv;
        } else {
            argc = 0; // the usage
            break;
        }
    }
    if (argc < 4) {
        std::fprintf(stderr, "usage: ftp_bench [--passive] [--tls FINGERPRINT] "
                             "get|put|dir|quote PORT ARGS...\n");
        return 2;
    }
    const std::string mode = argv[1];
    ftp.HostName = "127.0.0.1";
    ftp.Port = argv[2];
    ftp.UserName = "anonymous";
    ftp.PassWord = "bench@tarn";
    ftp.Timeout = 60;
    if (!ftp.Connect())
        return Fail(ftp, "Connect");
    if (!ftp.TypeSet())
        return Fail(ftp, "TypeSet");
    if (mode == "get" && argc == 5) {
        ftp.HostFileName = argv[3];
        ftp.LocalFileName = argv[4];
        if (!ftp.Get())
            return Fail(ftp, "Get");
    } else if (mode == "put" && argc == 5) {
        ftp.LocalFileName = argv[3];
        ftp.HostFileName = argv[4];
        if (!ftp.Put())
            return Fail(ftp, "Put");
    } else if (mode == "dir" && argc == 5) {
        ftp.HostFileName = argv[3];
        ftp.LocalFileName = argv[4];
        if (!ftp.Dir())
            return Fail(ftp, "Dir");
    } else if (mode == "quote") {
        ftp.LocalFileName = "NOOP";
        for (int i = std::atoi(argv[3]); i > 0; --i)
            if (!ftp.Quote())
                return Fail(ftp, "Quote");
    } else {
        std::fprintf(stderr, "ftp_bench: unknown case %s\n", mode.c_str());
        return 2;
    }
    return ftp.Quit() ? 0 : Fail(ftp, "Quit");
}
