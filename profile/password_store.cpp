#include "profile/password_store.h"

#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>

namespace tarn {

namespace {

const char *const ServiceName = "Tarn";

QString KeyText(const std::string &Host, const std::string &Port, const std::string &User)
{
    return QString::fromLocal8Bit(KeyringKey(Host, Port, User));
}

// Runs one keychain job for `Key` to its end, or until the time-out. `Done` takes what a
// successful job found while the job still exists (it deletes itself after finishing). A job
// that times out goes on unobserved and deletes itself when it ends.
template <typename TDone> TKeyringResult RunJob(QKeychain::Job *Job, const QString &Key, TDone Done)
{
    TKeyringResult result;
    result.Status = ksUnreachable;
    result.Reason =
        "the keyring did not answer within " + std::to_string(KeyringTimeoutSeconds) + " seconds";
    bool finished = false;
    QEventLoop loop;
    QObject::connect(Job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job *) {
        finished = true;
        switch (Job->error()) {
        case QKeychain::NoError:
            result.Status = ksDone;
            result.Reason.clear();
            Done(result);
            break;
        case QKeychain::EntryNotFound:
            result.Status = ksNotFound;
            result.Reason.clear();
            break;
        default:
            result.Reason = Job->errorString().simplified().toStdString();
            if (result.Reason.empty())
                result.Reason = "the keyring refused without saying why";
            break;
        }
        loop.quit();
    });
    QTimer::singleShot(KeyringTimeoutSeconds * 1000, &loop, &QEventLoop::quit);
    Job->setAutoDelete(true);
    Job->setKey(Key);
    Job->start();
    if (!finished)
        loop.exec();
    return result;
}

} // namespace

std::string KeyringKey(const std::string &Host, const std::string &Port, const std::string &User)
{
    return User + "@" + Host + ":" + Port;
}

TKeyringResult ReadKeyringPassword(const std::string &Host, const std::string &Port,
                                   const std::string &User)
{
    auto *job = new QKeychain::ReadPasswordJob(ServiceName);
    return RunJob(job, KeyText(Host, Port, User), [job](TKeyringResult &Result) {
        const QByteArray password = job->binaryData();
        Result.Password.assign(password.constData(), std::size_t(password.size()));
    });
}

TKeyringResult WriteKeyringPassword(const std::string &Host, const std::string &Port,
                                    const std::string &User, const std::string &Password)
{
    auto *job = new QKeychain::WritePasswordJob(ServiceName);
    job->setBinaryData(QByteArray(Password.data(), qsizetype(Password.size())));
    return RunJob(job, KeyText(Host, Port, User), [](TKeyringResult &) {});
}

TKeyringResult DeleteKeyringPassword(const std::string &Host, const std::string &Port,
                                     const std::string &User)
{
    auto *job = new QKeychain::DeletePasswordJob(ServiceName);
    return RunJob(job, KeyText(Host, Port, User), [](TKeyringResult &) {});
}

} // namespace tarn
