#include "tests/common/test_ftp_server.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <stdexcept>

namespace tarn {

namespace {

constexpr int StartTimeoutMs = 10000;

QString ScriptPath()
{
    QByteArray source = qgetenv("TARN_SOURCE_DIR");
    if (source.isEmpty())
        source = TARN_SOURCE_DIR_FALLBACK;
    return QDir(QString::fromLocal8Bit(source)).filePath("tools/testftpd/testftpd");
}

} // namespace

TTestFtpServer::TTestFtpServer(TTestFtpServerOptions Options)
    : FOptions(std::move(Options)), FWorkDir(std::make_unique<QTemporaryDir>()),
      FProcess(std::make_unique<QProcess>())
{
    if (!FWorkDir->isValid())
        throw std::runtime_error("TTestFtpServer: cannot create a temporary folder");
    FRoot = FOptions.Root;
    if (FRoot.empty()) {
        const QString root = FWorkDir->filePath("root");
        QDir().mkpath(root);
        FRoot = root.toStdString();
    }

    QStringList args{ScriptPath(),
                     "--personality",
                     QString::fromStdString(FOptions.Personality),
                     "--root",
                     QString::fromStdString(FRoot),
                     "--port",
                     "0",
                     "--user",
                     QString::fromStdString(FOptions.User),
                     "--password",
                     QString::fromStdString(FOptions.Password)};
    args << "--tls-dir" << FWorkDir->filePath("tls"); // used by a server given --tls
    if (FOptions.RecordWire)
        args << "--record-wire" << FWorkDir->filePath("wire");
    for (const std::string &arg : FOptions.ExtraArgs)
        args << QString::fromStdString(arg);

    // Standard error goes to a file: a pipe nobody drains could stall a chatty server.
    FProcess->setStandardErrorFile(FWorkDir->filePath("stderr.log"));
    FProcess->start("/usr/bin/python3", args);
    if (!FProcess->waitForStarted(StartTimeoutMs))
        throw std::runtime_error("TTestFtpServer: cannot start /usr/bin/python3: " +
                                 FProcess->errorString().toStdString());

    QByteArray out;
    QDeadlineTimer deadline(StartTimeoutMs);
    while (!out.contains('\n') && !deadline.hasExpired()) {
        if (FProcess->state() != QProcess::Running)
            break;
        FProcess->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        out += FProcess->readAllStandardOutput();
    }
    const QByteArray line = out.left(out.indexOf('\n')).trimmed();
    bool ok = false;
    if (line.startsWith("PORT "))
        FPort = line.mid(5).toInt(&ok);
    if (!ok || FPort <= 0) {
        FProcess->kill();
        FProcess->waitForFinished(StartTimeoutMs);
        throw std::runtime_error("TTestFtpServer: the server did not come up: " + ServerError());
    }
}

TTestFtpServer::~TTestFtpServer()
{
    if (FProcess->state() != QProcess::NotRunning) {
        FProcess->terminate();
        if (!FProcess->waitForFinished(5000)) {
            FProcess->kill();
            FProcess->waitForFinished(5000);
        }
    }
}

std::string TTestFtpServer::TlsFolder() const
{
    return FWorkDir->filePath("tls").toStdString();
}

std::string TTestFtpServer::CertificateFingerprint() const
{
    return QByteArray::fromStdString(ReadWorkFile("tls/fingerprint")).trimmed().toStdString();
}

std::string TTestFtpServer::WireFromClient() const
{
    return ReadWorkFile("wire/client-to-server.bin");
}

std::string TTestFtpServer::WireFromServer() const
{
    return ReadWorkFile("wire/server-to-client.bin");
}

std::string TTestFtpServer::ReadWorkFile(const char *Name) const
{
    QFile file(FWorkDir->filePath(Name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().toStdString();
}

std::string TTestFtpServer::ServerError() const
{
    QFile log(FWorkDir->filePath("stderr.log"));
    if (!log.open(QIODevice::ReadOnly))
        return "(no output)";
    const QByteArray text = log.readAll().trimmed();
    return text.isEmpty() ? std::string("(no output)") : text.toStdString();
}

} // namespace tarn
