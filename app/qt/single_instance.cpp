#include "single_instance.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

// Another copy holding the lock may still be starting and not listen yet; it is given
// this long to answer before the newcomer gives up anyway.
static constexpr int kRaiseAttempts = 20;
static constexpr int kRaiseRetryMs = 50;

SingleInstance::SingleInstance(QObject *parent) : QObject(parent) {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) {
        dir = QDir::tempPath();
    }
    m_lockPath = dir + QStringLiteral("/sonavex.lock");
    m_socketPath = dir + QStringLiteral("/sonavex.socket");
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnection);
}

bool SingleInstance::claim() {
    m_lock = std::make_unique<QLockFile>(m_lockPath);
    m_lock->setStaleLockTime(0); // only a lock whose process is gone is stale
    if (m_lock->tryLock(0)) {
        QLocalServer::removeServer(m_socketPath); // left by a copy that crashed
        m_server.setSocketOptions(QLocalServer::UserAccessOption);
        m_server.listen(m_socketPath);
        return true;
    }
    for (int attempt = 0; attempt < kRaiseAttempts; ++attempt) {
        QLocalSocket socket;
        socket.connectToServer(m_socketPath);
        if (socket.waitForConnected(kRaiseRetryMs)) {
            socket.write("raise\n");
            socket.waitForBytesWritten(500);
            socket.disconnectFromServer();
            break;
        }
        QThread::msleep(kRaiseRetryMs);
    }
    return false;
}

void SingleInstance::acceptConnection() {
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        emit raiseRequested();
    }
}
