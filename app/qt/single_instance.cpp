#include "single_instance.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

// What a later copy sends, and what the first answers once its window is in front. Nothing
// else on the socket means anything; a connection is read no further than the request.
static const QByteArray kRequest = QByteArrayLiteral("raise\n");
static const QByteArray kAnswer = QByteArrayLiteral("raised\n");

// A later copy gives the first this long to answer: long enough for a busy desktop, short
// enough that a user who started it sees the message while still looking.
static constexpr int kAnswerMs = 2000;
static constexpr int kRetryMs = 50; // between attempts while the first copy starts listening

// The first copy serves connections one short request at a time: one that has not sent it
// within a second is dropped, and a burst of connections keeps only the newest few, so
// that nothing a client does can use up the program's descriptors or memory.
static constexpr int kIdleMs = 1000;
static constexpr int kMaxConnections = 8;
static constexpr int kWatchMs = 1000;

static void say(const QString &text) { std::fprintf(stderr, "sonavex: %s\n", qPrintable(text)); }

static QString error_text(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// The user's runtime directory if only the user can reach it; otherwise an empty string and
// the reason. Qt falls back to a fixed name under the temporary folder, which another user
// may have made first, so the directory is checked here, never assumed.
static QString private_runtime_dir(QString *why) {
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) {
        *why = QStringLiteral("none usable");
        return {};
    }
    struct stat info {};
    if (lstat(QFile::encodeName(dir).constData(), &info) != 0) {
        *why = dir + QStringLiteral(": ") + error_text(errno);
        return {};
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid() || (info.st_mode & 077) != 0) {
        *why = dir + QStringLiteral(" is not a directory of this user's alone");
        return {};
    }
    return dir;
}

SingleInstance::SingleInstance(QObject *parent) : QObject(parent) {
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    connect(&m_watch, &QTimer::timeout, this, &SingleInstance::watchServer);
}

SingleInstance::~SingleInstance() {
    // The server deletes the sockets it accepted, which then report that they disconnected:
    // they must not call back into this object's members, which are gone by then.
    for (QLocalSocket *socket : std::as_const(m_connections)) {
        socket->disconnect(this);
    }
    if (m_lockFd >= 0) {
        ::close(m_lockFd);
    }
}

SingleInstance::Claim SingleInstance::claim() {
    QString why;
    const QString dir = private_runtime_dir(&why);
    if (dir.isEmpty()) {
        say(QStringLiteral("no private runtime directory (%1); running without the "
                           "single-copy check")
                .arg(why));
        return Claim::Run;
    }
    const QString lockPath = dir + QStringLiteral("/sonavex.lock");
    m_socketPath = dir + QStringLiteral("/sonavex.socket");
    // The file's contents mean nothing: only the kernel's lock on it counts, so a file left
    // behind, empty or garbled, never keeps the program from starting.
    m_lockFd = ::open(QFile::encodeName(lockPath).constData(),
                      O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    int error = errno;
    if (m_lockFd >= 0 && flock(m_lockFd, LOCK_EX | LOCK_NB) == 0) {
        listen();
        m_watch.start(kWatchMs);
        return Claim::Run;
    }
    error = m_lockFd >= 0 ? errno : error;
    if (m_lockFd >= 0) {
        ::close(m_lockFd);
        m_lockFd = -1;
    }
    if (error == EWOULDBLOCK) {
        return askRunningCopy() ? Claim::Raised : Claim::NoAnswer;
    }
    say(QStringLiteral("cannot lock %1 (%2); running without the single-copy check")
            .arg(lockPath, error_text(error)));
    return Claim::Run;
}

// The copy holding the lock may be starting and not listen yet, or have dropped this
// connection among many: each attempt that ends without an answer is tried again until
// the time is up.
bool SingleInstance::askRunningCopy() {
    QElapsedTimer clock;
    clock.start();
    auto remaining = [&clock] { return int(qMax<qint64>(1, kAnswerMs - clock.elapsed())); };
    for (;;) {
        QLocalSocket socket;
        socket.connectToServer(m_socketPath);
        if (socket.waitForConnected(remaining())) {
            socket.write(kRequest);
            socket.flush();
            QByteArray answer;
            while (answer.size() < kAnswer.size() && clock.elapsed() < kAnswerMs &&
                   (socket.bytesAvailable() > 0 || socket.waitForReadyRead(remaining()))) {
                answer += socket.read(kAnswer.size() - answer.size());
            }
            if (answer == kAnswer) {
                return true;
            }
        }
        if (clock.elapsed() + kRetryMs >= kAnswerMs) {
            break;
        }
        QThread::msleep(kRetryMs);
    }
    say(QStringLiteral("another copy holds the lock in %1 but did not answer within %2 s; it "
                       "may be stopped or hung")
            .arg(m_socketPath.section(QLatin1Char('/'), 0, -2))
            .arg(kAnswerMs / 1000));
    return false;
}

// Only the copy holding the lock gets here, so a socket file already there was left by a
// copy that ended without removing it.
void SingleInstance::listen() {
    QLocalServer::removeServer(m_socketPath);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(m_socketPath) && !m_listenFailureSaid) {
        say(QStringLiteral("cannot listen on %1 (%2); a later copy will not bring this one "
                           "to the front")
                .arg(m_socketPath, m_server.errorString()));
        m_listenFailureSaid = true;
    }
}

// Qt closes the server for good when accepting fails (no descriptors left, say), and the
// socket file may be removed by a cleaner of old files: either way the program listens
// again, so later copies keep finding it.
void SingleInstance::watchServer() {
    struct stat info {};
    const bool present =
        lstat(QFile::encodeName(m_socketPath).constData(), &info) == 0 && S_ISSOCK(info.st_mode);
    if (!m_server.isListening() || !present) {
        m_server.close();
        listen();
    }
}

void SingleInstance::acceptConnections() {
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        if (m_connections.size() >= kMaxConnections) {
            drop(m_connections.first());
        }
        m_connections.append(socket);
        socket->setReadBufferSize(kRequest.size());
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { drop(socket); });
        QTimer::singleShot(kIdleMs, socket, [this, socket] { drop(socket); });
    }
}

void SingleInstance::readRequest(QLocalSocket *socket) {
    if (socket->bytesAvailable() < kRequest.size()) {
        return; // the rest may follow, until the connection's second is up
    }
    if (socket->read(kRequest.size()) == kRequest) {
        emit raiseRequested();
        socket->write(kAnswer);
        socket->flush();
    }
    drop(socket);
}

void SingleInstance::drop(QLocalSocket *socket) {
    if (!m_connections.removeOne(socket)) {
        return;
    }
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}
