// The keyring's module (profile/keyring_module.h): QtKeychain's jobs, run to their end.

#include "profile/keyring_module.h"

#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>
#include <type_traits>

namespace tarn {
namespace {

const char *const ServiceName = "Tarn";

// Runs one keychain job for `Key` to its end, or until the time-out. `Done` takes what a
// successful job found while the job still exists (it deletes itself after finishing). A job
// that times out goes on unobserved and deletes itself when it ends.
template <typename TDone>
void RunJob(QKeychain::Job *Job, const std::string &Key, TKeyringResult &Result, TDone Done)
{
    Result.Status = ksUnreachable;
    Result.Reason =
        "the keyring did not answer within " + std::to_string(KeyringTimeoutSeconds) + " seconds";
    bool finished = false;
    QEventLoop loop;
    QObject::connect(Job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job *) {
        finished = true;
        switch (Job->error()) {
        case QKeychain::NoError:
            Result.Status = ksDone;
            Result.Reason.clear();
            Done();
            break;
        case QKeychain::EntryNotFound:
            Result.Status = ksNotFound;
            Result.Reason.clear();
            break;
        default:
            Result.Reason = Job->errorString().simplified().toStdString();
            if (Result.Reason.empty())
                Result.Reason = "the keyring refused without saying why";
            break;
        }
        loop.quit();
    });
    QTimer::singleShot(KeyringTimeoutSeconds * 1000, &loop, &QEventLoop::quit);
    Job->setAutoDelete(true);
    Job->setKey(QString::fromLocal8Bit(Key));
    Job->start();
    if (!finished)
        loop.exec();
}

} // namespace
} // namespace tarn

extern "C" __attribute__((visibility("default"))) void
TarnKeyringJob(tarn::TKeyringOperation Operation, const std::string &Key,
               const std::string &Password, tarn::TKeyringResult &Result)
{
    using namespace tarn;
    switch (Operation) {
    case koRead: {
        auto *job = new QKeychain::ReadPasswordJob(ServiceName);
        RunJob(job, Key, Result, [job, &Result] {
            const QByteArray password = job->binaryData();
            Result.Password.assign(password.constData(), std::size_t(password.size()));
        });
        break;
    }
    case koWrite: {
        auto *job = new QKeychain::WritePasswordJob(ServiceName);
        job->setBinaryData(QByteArray(Password.data(), qsizetype(Password.size())));
        RunJob(job, Key, Result, [] {});
        break;
    }
    case koDelete:
        RunJob(new QKeychain::DeletePasswordJob(ServiceName), Key, Result, [] {});
        break;
    }
}
static_assert(std::is_same_v<decltype(&TarnKeyringJob), tarn::TKeyringJob>);
