#include "gui/app/single_instance.h"

#include "core/base/prompt.h"

#include <QCryptographicHash>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMessageBox>
#include <QThread>
#include <unistd.h>

namespace sendwell::gui {

namespace {

constexpr int kConnectTimeoutMs = 2000;
// A window that holds the lock but does not answer yet is between taking the lock and listening.
constexpr int kStartingWindowTries = 50;
constexpr unsigned long kStartingWindowPauseMs = 100;

} // namespace

SingleInstance::SingleInstance(const QString& key, QObject* parent) : QObject(parent), key_(key) {}

QString SingleInstance::KeyFor(const std::filesystem::path& databaseFile) {
    std::error_code ec;
    std::filesystem::path file = std::filesystem::weakly_canonical(databaseFile, ec);
    if (ec) {
        file = databaseFile;
    }
    const QByteArray hash = QCryptographicHash::hash(QFile::encodeName(QString::fromStdString(file.string())),
                                                     QCryptographicHash::Sha256);
    return QStringLiteral("sendwell-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash.toHex().left(16)));
}

bool SingleInstance::HandOverToRunningWindow() {
    QLocalSocket socket;
    socket.connectToServer(key_);
    if (!socket.waitForConnected(kConnectTimeoutMs)) {
        return false;
    }
    socket.write("activate\n");
    socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    return true;
}

bool SingleInstance::Listen() {
    if (server_ == nullptr) {
        server_ = new QLocalServer(this);
        server_->setSocketOptions(QLocalServer::UserAccessOption);
        connect(server_, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* socket = server_->nextPendingConnection()) {
                connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
                socket->disconnectFromServer();
                emit activationRequested();
            }
        });
    }
    if (server_->isListening()) {
        return true;
    }
    // Only the holder of the database lock gets here, so a socket left by a crashed window is stale.
    QLocalServer::removeServer(key_);
    return server_->listen(key_);
}

StartDecision ClaimDatabase(SingleInstance& instance, sendwell::DatabaseLock& lock,
                            const std::filesystem::path& databaseFile) {
    if (instance.HandOverToRunningWindow()) {
        return StartDecision::HandedOver;
    }
    for (int tries = 0;; ++tries) {
        switch (lock.TryAcquire(databaseFile, sendwell::kWindowHolder)) {
        case sendwell::LockResult::Acquired:
            instance.Listen();
            return StartDecision::Run;
        case sendwell::LockResult::Failed:
            // Nothing to guard against then; the save at the end reports its own failure.
            instance.Listen();
            return StartDecision::Run;
        case sendwell::LockResult::Busy:
            break;
        }
        if (lock.holderName() == sendwell::kWindowHolder) {
            if (instance.HandOverToRunningWindow()) {
                return StartDecision::HandedOver;
            }
            if (tries < kStartingWindowTries) {
                QThread::msleep(kStartingWindowPauseMs);
                continue;
            }
        }
        const QString text =
            lock.holderName() == sendwell::kCommandLineHolder
                ? QStringLiteral("The URL database is being changed by sendwell-cli (process %1).\n\nRetry "
                                 "when it has finished, or cancel to quit.")
                      .arg(lock.holderPid())
                : QStringLiteral("The URL database is in use by another program.\n\nRetry when it has "
                                 "finished, or cancel to quit.");
        if (QMessageBox::warning(nullptr, QString::fromLatin1(sendwell::kAppCaption), text,
                                 QMessageBox::Retry | QMessageBox::Cancel) != QMessageBox::Retry) {
            return StartDecision::Quit;
        }
        tries = 0;
    }
}

} // namespace sendwell::gui
