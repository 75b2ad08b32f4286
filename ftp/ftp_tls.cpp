// FTP over TLS (RFC 4217). Explicit: AUTH TLS after the greeting, never falling back to clear
// text; implicit: TLS from the first byte, the greeting after the handshake. The connect
// request completes only once the server's certificate is accepted, so no USER ever goes out
// unprotected. After the login PBSZ 0 and PROT P protect the data connections, each of which
// resumes the control connection's TLS session (servers may demand that, as vsftpd does).
//
// A certificate is accepted when it verifies against the system's trust store and the host
// name, or when its SHA-256 fingerprint is the pinned TlsFingerprint, or when
// OnCertificateCheck says so. That handler may run a modal dialog: it is called from a posted
// event, the greeting and every reply wait meanwhile, and on return the engine checks that it
// still exists and still waits for that answer.
#include "ftp/custom_ftp_cli.h"
#include "ftp/ftp_security.h"
#include "net/openssl_library.h"
#include "net/tls_context.h"
#include "net/wsocket.h"
#include "support/text.h"

#include <QMetaObject>
#include <QObject>
#include <ctime>

namespace tarn {

namespace {

// Result of a connect whose TLS could not be set up or whose certificate was refused.
constexpr int TlsFailedResult = 500;
constexpr int DataBrokenResult = 426;

std::string NameText(const X509_NAME *Name)
{
    const TOpenSslLibrary &ssl = OpenSsl();
    BIO *bio = ssl.BIO_new(ssl.BIO_s_mem());
    ssl.X509_NAME_print_ex(bio, Name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char *data = nullptr;
    const long length = ssl.GetMemData(bio, &data);
    std::string text(data, std::size_t(std::max(length, 0L)));
    ssl.BIO_free(bio);
    return text;
}

std::string TimeText(const ASN1_TIME *Time)
{
    std::tm parts{};
    if (!Time || OpenSsl().ASN1_TIME_to_tm(Time, &parts) != 1)
        return "";
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
    return text;
}

TTlsCertificateInfo DescribeCertificate(X509 *Certificate)
{
    const TOpenSslLibrary &ssl = OpenSsl();
    TTlsCertificateInfo info;
    info.Subject = NameText(ssl.X509_get_subject_name(Certificate));
    info.Issuer = NameText(ssl.X509_get_issuer_name(Certificate));
    info.NotBefore = TimeText(ssl.X509_get0_notBefore(Certificate));
    info.NotAfter = TimeText(ssl.X509_get0_notAfter(Certificate));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    ssl.X509_digest(Certificate, ssl.EVP_sha256(), digest, &length);
    static const char Hex[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += Hex[digest[i] >> 4];
        hex += Hex[digest[i] & 15];
    }
    info.Fingerprint = FormatTlsFingerprint(hex);
    return info;
}

} // namespace

// The control connection is up (implicit) or AUTH TLS was accepted (explicit).
void TCustomFtpCli::StartControlTls()
{
    ReplyHandler = nullptr; // a line now would be no reply to anything
    FAwaitingFinal = true;
    ControlSocket->OnTlsDone = [this](auto &&, uint16_t Error) { ControlTlsDone(Error); };
    try {
        // The first TLS connect of the engine loads OpenSSL and makes the context; a
        // clear-text session never gets here.
        if (!FTlsContext)
            FTlsContext = NewTlsClientContext();
        ControlSocket->StartTls(FTlsContext.get(), HostName, nullptr);
    } catch (const std::exception &e) {
        FailTls(TlsFailedResult, std::to_string(TlsFailedResult) + " " + e.what());
    }
}

void TCustomFtpCli::AuthTlsReplied()
{
    if (StepResult != 0) {
        // Never on in clear text: the login would show the password to the network.
        FailTls(StepResult, "AUTH TLS refused: " + FLastResponse);
        return;
    }
    StartControlTls();
}

void TCustomFtpCli::ControlTlsDone(uint16_t Error)
{
    ControlSocket->OnTlsDone = nullptr;
    if (Error != 0) {
        FailTls(TlsFailedResult, std::to_string(TlsFailedResult) + " " + ControlSocket->TlsError());
        return;
    }
    const TOpenSslLibrary &openSsl = OpenSsl();
    SSL *ssl = ControlSocket->TlsHandle();
    X509 *certificate = openSsl.SSL_get0_peer_certificate(ssl);
    if (!certificate) {
        FailTls(TlsFailedResult,
                std::to_string(TlsFailedResult) + " The server showed no TLS certificate");
        return;
    }
    TTlsCertificateInfo info = DescribeCertificate(certificate);
    info.Host = HostName;
    info.Port = std::to_string(FPortNumber);
    const long verdict = openSsl.SSL_get_verify_result(ssl);
    if (verdict == X509_V_OK) {
        ControlTlsAccepted(info);
        return;
    }
    info.Problem = openSsl.X509_verify_cert_error_string(verdict);
    const auto pinned = NormalizeTlsFingerprint(TlsFingerprint);
    if (pinned && pinned == NormalizeTlsFingerprint(info.Fingerprint)) {
        TriggerDisplay("! Certificate accepted by its pinned fingerprint (" + info.Problem + ")");
        ControlTlsAccepted(info);
        return;
    }
    if (!TlsFingerprint.empty())
        TriggerDisplay("! The certificate is not the one pinned by TlsFingerprint");
    if (!OnCertificateCheck) {
        FailTls(TlsFailedResult, std::to_string(TlsFailedResult) + " Certificate of " + info.Host +
                                     ":" + info.Port + " not trusted (" + info.Problem +
                                     "); SHA-256 fingerprint " + info.Fingerprint);
        return;
    }
    // Replies wait until the answer is in; the question runs from this thread's event loop.
    // Its context object is not the engine's: the handler may destroy the engine, and an
    // object must not be deleted while one of its own events runs.
    FHoldControl = true;
    auto *context = new QObject;
    QMetaObject::invokeMethod(
        context,
        [this, context, alive = FAlive, serial = FConnectSerial, info] {
            context->deleteLater();
            if (*alive && serial == FConnectSerial && FHoldControl)
                AskCertificate(info);
        },
        Qt::QueuedConnection);
}

void TCustomFtpCli::AskCertificate(const TTlsCertificateInfo &Info)
{
    bool accept = false;
    const std::shared_ptr<bool> alive = FAlive;
    const uint64_t serial = FConnectSerial;
    const TFtpCertificateCheck handler = OnCertificateCheck;
    handler(this, Info, accept);
    // The handler's event loop may have destroyed the engine, aborted or lost the connection.
    if (!*alive || serial != FConnectSerial || !FHoldControl || !ControlOpen)
        return;
    RestartTimeout();
    if (accept)
        ControlTlsAccepted(Info);
    else
        FailTls(TlsFailedResult, std::to_string(TlsFailedResult) + " Certificate of " + Info.Host +
                                     ":" + Info.Port + " refused (" + Info.Problem +
                                     "); SHA-256 fingerprint " + Info.Fingerprint);
}

void TCustomFtpCli::ControlTlsAccepted(const TTlsCertificateInfo &Info)
{
    const TOpenSslLibrary &openSsl = OpenSsl();
    SSL *ssl = ControlSocket->TlsHandle();
    TriggerDisplay(std::string("! TLS ") + openSsl.SSL_get_version(ssl) + " " +
                   openSsl.SSL_CIPHER_get_name(openSsl.SSL_get_current_cipher(ssl)) +
                   ", certificate " + Info.Subject + ", SHA-256 fingerprint " + Info.Fingerprint);
    FTlsReady = true;
    FHoldControl = false;
    if (Security == TFtpSecurity::scImplicit) {
        // The greeting may be in already.
        ControlDataAvailable(0);
        return;
    }
    StepResult = 0;
    TriggerRequestDone(0); // the open step is done: the login may go out now
}

// A protected connect that cannot go on: the connection is closed, so that nothing more goes
// out on it, and the request fails with Reason.
void TCustomFtpCli::FailTls(int Code, const std::string &Reason)
{
    FHoldControl = false;
    FLastResponse = Reason;
    FStatusCode = StepResult = Code;
    FErrorMessage = PrintableText(Reason); // the reply it may follow does not tell why
    TriggerDisplay("! " + Reason);
    FAwaitingFinal = false;
    if (ControlSocket->State() != wsClosed)
        ControlSocket->Close(); // the loss handler ends the request with StepResult
    else
        TriggerRequestDone(Code);
}

// A session that is to be protected but is not (Security set after a clear connect) sends no
// login: the password would cross in clear.
void TCustomFtpCli::CheckLoginProtected() const
{
    if (Security != TFtpSecurity::scNone && !FTlsReady)
        throw FtpException("The connection is not protected by TLS: no login was sent");
}

// The reply to USER or PASS is in: after a login on a protected connection the data
// connections are protected too.
void TCustomFtpCli::LoginReplied()
{
    if (StepResult != 0 || FStatusCode != 230 || !FTlsReady) {
        TriggerRequestDone(StepResult);
        return;
    }
    FollowUp("PBSZ 0", {200}, [this] {
        if (StepResult != 0)
            TriggerRequestDone(StepResult);
        else
            FollowUp("PROT P", {200}, [this] { TriggerRequestDone(StepResult); });
    });
}

void TCustomFtpCli::StartDataTls()
{
    FDataTls = true;
    DataSocket->OnTlsDone = [this](auto &&, uint16_t Error) {
        DataSocket->OnTlsDone = nullptr;
        if (Error == 0) {
            DataReady();
            return;
        }
        const std::string reason = std::to_string(DataBrokenResult) +
                                   " TLS on the data connection failed: " + DataSocket->TlsError();
        TriggerDisplay("! " + reason);
        FailTransfer(DataBrokenResult, reason);
        DataSocket->Close(); // the server's reply ends the step
    };
    SSL_SESSION *session = OpenSsl().SSL_get_session(ControlSocket->TlsHandle());
    DataSocket->StartTls(FTlsContext.get(), HostName, session);
}

} // namespace tarn
