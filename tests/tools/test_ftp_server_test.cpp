// The fixture that other suites use to run tools/testftpd: it must bring a server up, report a
// server that cannot start, and leave nothing listening behind it.
#include "tests/common/test_ftp_server.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <stdexcept>

namespace tarn {

namespace {

QByteArray ReadReply(QTcpSocket &Socket)
{
    QByteArray reply;
    while (!reply.endsWith("\r\n") && Socket.waitForReadyRead(5000))
        reply += Socket.readAll();
    return reply;
}

} // namespace

TEST(TestFtpServer, ServesItsOwnFolderAndGreets)
{
    TTestFtpServer server;
    ASSERT_GT(server.Port(), 0);
    ASSERT_TRUE(QDir(QString::fromStdString(server.Root())).exists());

    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", quint16(server.Port()));
    ASSERT_TRUE(socket.waitForConnected(5000));
    EXPECT_TRUE(ReadReply(socket).startsWith("220 "));
}

TEST(TestFtpServer, PersonalityAndLoginReachTheServer)
{
    TTestFtpServerOptions options;
    options.Personality = "os400";
    options.User = "qpgmr";
    options.Password = "pw";
    TTestFtpServer server(options);

    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", quint16(server.Port()));
    ASSERT_TRUE(socket.waitForConnected(5000));
    QByteArray greeting;
    while (!greeting.contains("\r\n220 ") && socket.waitForReadyRead(5000))
        greeting += socket.readAll();
    EXPECT_TRUE(greeting.startsWith("220-QTCP at ")) << greeting.constData();

    socket.write("USER qpgmr\r\n");
    EXPECT_EQ(ReadReply(socket), "331 Enter password.\r\n");
    socket.write("PASS pw\r\n");
    EXPECT_EQ(ReadReply(socket), "230 QPGMR logged on.\r\n");
}

TEST(TestFtpServer, FaultSwitchesReachTheServer)
{
    TTestFtpServerOptions options;
    options.ExtraArgs = {"--bare-lf", "GREETING", "--reply-text", "NOOP=+200 Fine."};
    TTestFtpServer server(options);

    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", quint16(server.Port()));
    ASSERT_TRUE(socket.waitForConnected(5000));
    QByteArray greeting;
    while (!greeting.endsWith('\n') && socket.waitForReadyRead(5000))
        greeting += socket.readAll();
    EXPECT_TRUE(greeting.startsWith("220 ") && !greeting.contains('\r')) << greeting.constData();
    socket.write("NOOP\r\n");
    EXPECT_EQ(ReadReply(socket), "+200 Fine.\r\n");
}

TEST(TestFtpServer, TlsMaterialAndWireRecordAreThere)
{
    TTestFtpServerOptions options;
    options.ExtraArgs = {"--tls", "explicit", "--tls-issuer", "ca"};
    options.RecordWire = true;
    TTestFtpServer server(options);

    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", quint16(server.Port()));
    ASSERT_TRUE(socket.waitForConnected(5000));
    EXPECT_TRUE(ReadReply(socket).startsWith("220 "));
    socket.write("AUTH TLS\r\n");
    EXPECT_EQ(ReadReply(socket), "234 AUTH TLS successful.\r\n");

    EXPECT_EQ(server.WireFromClient(), "AUTH TLS\r\n");
    EXPECT_NE(server.WireFromServer().find("\r\n234 AUTH TLS successful.\r\n"), std::string::npos);
    EXPECT_TRUE(QRegularExpression("^([0-9A-F]{2}:){31}[0-9A-F]{2}$")
                    .match(QString::fromStdString(server.CertificateFingerprint()))
                    .hasMatch())
        << server.CertificateFingerprint();
    const QDir folder(QString::fromStdString(server.TlsFolder()));
    EXPECT_TRUE(folder.exists("cert.pem") && folder.exists("ca.pem") && folder.exists("key.pem"));
}

TEST(TestFtpServer, GivenRootIsServedAndKept)
{
    QTemporaryDir dir;
    QFile file(dir.filePath("here.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    {
        TTestFtpServerOptions options;
        options.Root = dir.path().toStdString();
        TTestFtpServer server(options);
        EXPECT_EQ(server.Root(), options.Root);
    }
    EXPECT_TRUE(QFile::exists(dir.filePath("here.txt")));
}

TEST(TestFtpServer, StopsListeningWhenDestroyed)
{
    int port = 0;
    {
        TTestFtpServer server;
        port = server.Port();
    }
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", quint16(port));
    EXPECT_FALSE(socket.waitForConnected(2000));
}

TEST(TestFtpServer, ServerThatCannotStartThrowsWithItsMessage)
{
    TTestFtpServerOptions options;
    options.Root = "/nonexistent/testftpd-root";
    try {
        TTestFtpServer server(options);
        FAIL() << "a server without its root folder came up";
    } catch (const std::runtime_error &e) {
        EXPECT_NE(std::string(e.what()).find("is not a folder"), std::string::npos) << e.what();
    }
}

} // namespace tarn
