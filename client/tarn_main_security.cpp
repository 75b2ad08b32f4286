// The client's answer to a server certificate that could not be verified.

#include "client/tarn_main.h"
#include "profile/trusted_certificates.h"

namespace tarn {

std::string TTarnMain::CertificateQuestionText(const TTlsCertificateInfo &Info)
{
    return "The certificate of " + Info.Host + " (port " + Info.Port +
           ") could not be verified: " + Info.Problem +
           ".\n\n"
           "Subject: " +
           Info.Subject + "\nIssuer: " + Info.Issuer + "\nValid from " + Info.NotBefore + " to " +
           Info.NotAfter + "\nSHA-256 fingerprint: " + Info.Fingerprint +
           "\n\nTrust it only when this is the fingerprint the server's administrator gave you.";
}

void TTarnMain::ControlFtpCertificateCheck(const TTlsCertificateInfo &Info, bool &Accept)
{
    TTrustedCertificates trusted;
    if (trusted.Contains(Info.Host, Info.Port, Info.Fingerprint)) {
        Accept = true;
        return;
    }
    const TCertificateAnswer answer = FDialogs.CertificateQuestion(CertificateQuestionText(Info));
    if (answer == caAlwaysTrust) {
        std::string error;
        if (!trusted.Add(Info.Host, Info.Port, Info.Fingerprint, &error))
            AppendLog("The certificate could not be remembered: " + error);
    }
    Accept = answer != caCancel;
}

} // namespace tarn
