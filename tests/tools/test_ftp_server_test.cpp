// The fixture that other suites use to run tools/testftpd: it must bring a server up, report a
// server that cannot start, and leave nothing listening behind it.
#include "tests/common/test_ftp_server.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTcpSocket>
#include <gtest/gtest.h>

#include <stdexcept>

namespace tarn {

namespace {

QByteArray readReply(QTcpSocket &socket)
{
    QByteArray reply;
    while (!reply.endsWith("\r\n") && socket.waitForReadyRead(5000))
        reply += socket.readAll();
    return reply;
}

} // namespace

TEST(TestFtpServer, ServesItsOwnFolderAndGreets)
{
    TestFtpServer server;
    ASSERT_GT(server.port(), 0);
    ASSERT_TRUE(QDir(QString::fromStdString(server.root())).exists());

    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", quint16(server.port()));
    ASSERT_TRUE(socket.waitForConnected(5000));
    EXPECT_TRUE(readReply(socket).startsWith("220 "));
}

TEST(TestFtpServer, PersonalityAndLoginReachTheServer)
{
    TestFtpServerOptions options;
    options.personality = "os400";
    options.user = "qpgmr";
    options.password = "pw";
    TestFtpServer server(options);

    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", quint16(server.port()));
    ASSERT_TRUE(socket.waitForConnected(5000));
    QByteArray greeting;
    while (!greeting.contains("\r\n220 ") && socket.waitForReadyRead(5000))
        greeting += socket.readAll();
    EXPECT_TRUE(greeting.startsWith("220-QTCP at ")) << greeting.constData();

    socket.write("USER qpgmr\r\n");
    EXPECT_EQ(readReply(socket), "331 Enter password.\r\n");
    socket.write("PASS pw\r\n");
    EXPECT_EQ(readReply(socket), "230 QPGMR logged on.\r\n");
}

TEST(TestFtpServer, GivenRootIsServedAndKept)
{
    QTemporaryDir dir;
    QFile file(dir.filePath("here.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    {
        TestFtpServerOptions options;
        options.root = dir.path().toStdString();
        TestFtpServer server(options);
        EXPECT_EQ(server.root(), options.root);
    }
    EXPECT_TRUE(QFile::exists(dir.filePath("here.txt")));
}

TEST(TestFtpServer, StopsListeningWhenDestroyed)
{
    int port = 0;
    {
        TestFtpServer server;
        port = server.port();
    }
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", quint16(port));
    EXPECT_FALSE(socket.waitForConnected(2000));
}

TEST(TestFtpServer, ServerThatCannotStartThrowsWithItsMessage)
{
    TestFtpServerOptions options;
    options.root = "/nonexistent/testftpd-root";
    try {
        TestFtpServer server(options);
        FAIL() << "a server without its root folder came up";
    } catch (const std::runtime_error &e) {
        EXPECT_NE(std::string(e.what()).find("is not a folder"), std::string::npos) << e.what();
    }
}

} // namespace tarn
