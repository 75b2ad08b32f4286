// The client's connect flow over TLS with a certificate that cannot be verified (self-signed,
// as IBM i's own CA's are to this machine): the question through the dialog seam, answered
// Cancel, Trust once and Always trust, against the real tools/testftpd.

#include "profile/trusted_certificates.h"
#include "tests/client/client_harness.h"

#include <QSettings>
#include <gtest/gtest.h>

namespace tarn::test {
namespace {

// The questions asked so far.
std::vector<std::string> Questions(const TRecordingDialogs &Dialogs)
{
    std::vector<std::string> questions;
    for (const std::string &message : Dialogs.Messages)
        if (message.starts_with("certificate: "))
            questions.push_back(message);
    return questions;
}

TEST(ClientCertificate, QuestionAnsweredCancelTrustOnceAndAlwaysTrust)
{
    const auto server = StartServer("os400", {"--tls", "explicit", "--tls-require-reuse"});
    const std::string fingerprint = server->CertificateFingerprint();
    TClientHarness client;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       client.Folder.filePath("config"));
    const std::string trustedFile = TTrustedCertificates::DefaultFileName();
    TLoginChoice login = client.Login(server->Port(), "/home/demo");
    login.Values.Security = "EXPLICIT";
    login.Values.Passive = "1";
    const auto connectAnswering = [&](TCertificateAnswer Answer) {
        client.Dialogs.CertificateAnswer = Answer;
        client.Dialogs.Messages.clear();
        client.Sent.clear();
        client.Connect(login);
    };

    // Cancel: no login is tried, the client stays offline.
    connectAnswering(caCancel);
    std::vector<std::string> questions = Questions(client.Dialogs);
    ASSERT_EQ(questions.size(), 1u) << client.Dialogs.Messages.size();
    for (const std::string &shown :
         {"127.0.0.1 (port " + std::to_string(server->Port()) + ")", std::string("Subject: "),
          std::string("Issuer: "), std::string("Valid from "), std::string(" UTC"),
          "SHA-256 fingerprint: " + fingerprint, std::string("self-signed")})
        EXPECT_NE(questions[0].find(shown), std::string::npos) << shown << "\n" << questions[0];
    EXPECT_TRUE(Contains(client.Dialogs.Messages, "information: Error connecting to FTP server."));
    EXPECT_FALSE(client.Main->ControlFtp.Connected());
    EXPECT_FALSE(Contains(client.Sent, "USER"));

    // Trust once: this session runs (its listing came over a protected passive connection),
    // and nothing is remembered.
    connectAnswering(caTrustOnce);
    EXPECT_EQ(Questions(client.Dialogs).size(), 1u);
    EXPECT_TRUE(client.Main->ControlFtp.Connected());
    EXPECT_NE(TClientHarness::RowOf(client.Main->FileView, "readme.txt"), -1);
    EXPECT_TRUE(Contains(client.Sent, "PASV"));
    EXPECT_FALSE(std::filesystem::exists(trustedFile));
    client.Main->LogoutButtonClick();

    // Always trust: asked once more, then written down, and the next connect asks nothing.
    connectAnswering(caAlwaysTrust);
    EXPECT_EQ(Questions(client.Dialogs).size(), 1u);
    EXPECT_TRUE(client.Main->ControlFtp.Connected());
    EXPECT_TRUE(TTrustedCertificates(trustedFile)
                    .Contains("127.0.0.1", std::to_string(server->Port()), fingerprint));
    client.Main->LogoutButtonClick();
    connectAnswering(caCancel);
    EXPECT_TRUE(Questions(client.Dialogs).empty());
    EXPECT_TRUE(client.Main->ControlFtp.Connected());
    EXPECT_NE(TClientHarness::RowOf(client.Main->FileView, "readme.txt"), -1);
}

} // namespace
} // namespace tarn::test
