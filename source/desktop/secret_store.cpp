#include "desktop/secret_store.h"

#include <QEventLoop>
#include <QTimer>

#include <qt6keychain/keychain.h>

namespace veltrin {

namespace {

const QString kService = QStringLiteral("Veltrin");

QString KeyOf(const ProxyChoice& proxy) {
    return QStringLiteral("proxy %1@%2")
        .arg(QString::fromStdString(proxy.user), QString::fromStdString(ProxyAddress(proxy)));
}

// Runs job to its end; false when the store did not answer in time.
bool Finish(QKeychain::Job& job) {
    job.setAutoDelete(false);
    QEventLoop loop;
    bool finished = false;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(10'000, &loop, &QEventLoop::quit);
    job.start();
    if (!finished) {
        loop.exec();
    }
    return finished;
}

} // namespace

StoredSecret ReadProxyPassword(const ProxyChoice& proxy) {
    QKeychain::ReadPasswordJob job(kService);
    job.setKey(KeyOf(proxy));
    if (!Finish(job)) {
        return {};
    }
    switch (job.error()) {
    case QKeychain::NoError: return {StoredSecret::State::Found, job.textData().toStdString()};
    case QKeychain::EntryNotFound: return {StoredSecret::State::Missing, {}};
    default: return {};
    }
}

bool KeepProxyPassword(const ProxyChoice& proxy, const std::string& password) {
    if (password.empty()) {
        QKeychain::DeletePasswordJob job(kService);
        job.setKey(KeyOf(proxy));
        return Finish(job) && (job.error() == QKeychain::NoError || job.error() == QKeychain::EntryNotFound);
    }
    QKeychain::WritePasswordJob job(kService);
    job.setKey(KeyOf(proxy));
    job.setTextData(QString::fromStdString(password));
    return Finish(job) && job.error() == QKeychain::NoError;
}

} // namespace veltrin
