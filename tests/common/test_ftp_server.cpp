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

QString scriptPath()
{
    QByteArray source = qgetenv("TARN_SOURCE_DIR");
    if (source.isEmpty())
        source = TARN_SOURCE_DIR_FALLBACK;
    return QDir(QString::fromLocal8Bit(source)).filePath("tools/testftpd/testftpd");
}

} // namespace

TestFtpServer::TestFtpServer(TestFtpServerOptions options)
    : m_options(std::move(options)), m_workDir(std::make_unique<QTemporaryDir>()),
      m_process(std::make_unique<QProcess>())
{
    if (!m_workDir->isValid())
        throw std::runtime_error("TestFtpServer: cannot create a temporary folder");
    m_root = m_options.root;
    if (m_root.empty()) {
        const QString root = m_workDir->filePath("root");
        QDir().mkpath(root);
        m_root = root.toStdString();
    }

    QStringList args{scriptPath(),
                     "--personality", QString::fromStdString(m_options.personality),
                     "--root", QString::fromStdString(m_root),
                     "--port", "0",
                     "--user", QString::fromStdString(m_options.user),
                     "--password", QString::fromStdString(m_options.password)};
    for (const std::string &arg : m_options.extraArgs)
        args << QString::fromStdString(arg);

    // Standard error goes to a file: a pipe nobody drains could stall a chatty server.
    m_process->setStandardErrorFile(m_workDir->filePath("stderr.log"));
    m_process->start("/usr/bin/python3", args);
    if (!m_process->waitForStarted(StartTimeoutMs))
        throw std::runtime_error("TestFtpServer: cannot start /usr/bin/python3: " +
                                 m_process->errorString().toStdString());

    QByteArray out;
    QDeadlineTimer deadline(StartTimeoutMs);
    while (!out.contains('\n') && !deadline.hasExpired()) {
        if (m_process->state() != QProcess::Running)
            break;
        m_process->waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        out += m_process->readAllStandardOutput();
    }
    const QByteArray line = out.left(out.indexOf('\n')).trimmed();
    bool ok = false;
    if (line.startsWith("PORT "))
        m_port = line.mid(5).toInt(&ok);
    if (!ok || m_port <= 0) {
        m_process->kill();
        m_process->waitForFinished(StartTimeoutMs);
        throw std::runtime_error("TestFtpServer: the server did not come up: " + serverError());
    }
}

TestFtpServer::~TestFtpServer()
{
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(5000)) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
    }
}

std::string TestFtpServer::serverError() const
{
    QFile log(m_workDir->filePath("stderr.log"));
    if (!log.open(QIODevice::ReadOnly))
        return "(no output)";
    const QByteArray text = log.readAll().trimmed();
    return text.isEmpty() ? std::string("(no output)") : text.toStdString();
}

} // namespace tarn
