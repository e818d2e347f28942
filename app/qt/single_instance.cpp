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

// The user's runtime directory, opened once, if only the user can reach it; otherwise -1 and
// the reason. Qt falls back to a fixed name under the temporary folder, which another user
// may have made first, so the directory is checked here, never assumed; and checked as the
// descriptor that the lock and the socket are then reached through, so that what was checked
// is what is used. A trailing slash would make the kernel follow a symbolic link in the last
// component despite O_NOFOLLOW, so it is taken off first.
static int open_private_runtime_dir(const QString &dir, QString *why) {
    if (dir.isEmpty()) {
        *why = QStringLiteral("none usable");
        return -1;
    }
    QByteArray path = QFile::encodeName(dir);
    while (path.size() > 1 && path.endsWith('/')) {
        path.chop(1);
    }
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        struct stat link {};
        *why = dir + (lstat(path.constData(), &link) == 0 && S_ISLNK(link.st_mode)
                          ? QStringLiteral(" is a symbolic link")
                          : QStringLiteral(": ") + error_text(error));
        return -1;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || info.st_uid != geteuid() || (info.st_mode & 077) != 0) {
        ::close(fd);
        *why = dir + QStringLiteral(" is not a directory of this user's alone");
        return -1;
    }
    return fd;
}

// The socket's path through the open directory: short whatever the directory's name (a
// socket's address holds only 107 bytes), and always the checked directory. Empty when the
// system's /proc does not lead there.
static QString socket_path_through(int dirFd) {
    const QString dir = QStringLiteral("/proc/self/fd/%1").arg(dirFd);
    struct stat opened {};
    struct stat reached {};
    if (fstat(dirFd, &opened) != 0 || stat(QFile::encodeName(dir).constData(), &reached) != 0 ||
        opened.st_dev != reached.st_dev || opened.st_ino != reached.st_ino) {
        return {};
    }
    return dir + QStringLiteral("/sonavex.socket");
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
    // Closing removes the socket file. That happens while the lock is still held, so the file
    // removed is this copy's own: once the lock is free, a new first copy may make its own.
    m_server.close();
    if (m_lockFd >= 0) {
        ::close(m_lockFd);
    }
    if (m_dirFd >= 0) {
        ::close(m_dirFd);
    }
}

SingleInstance::Claim SingleInstance::claim() {
    QString why;
    m_dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    m_dirFd = open_private_runtime_dir(m_dir, &why);
    if (m_dirFd < 0) {
        say(QStringLiteral("no private runtime directory (%1); running without the "
                           "single-copy check")
                .arg(why));
        return Claim::Run;
    }
    m_socketPath = socket_path_through(m_dirFd);
    if (m_socketPath.isEmpty()) {
        say(QStringLiteral("cannot reach %1 through /proc/self/fd; running without the "
                           "single-copy check")
                .arg(m_dir));
        return Claim::Run;
    }
    // The file's contents mean nothing: only the kernel's lock on it counts, so a file left
    // behind, empty or garbled, never keeps the program from starting.
    m_lockFd = ::openat(m_dirFd, "sonavex.lock", O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    int error = errno;
    if (m_lockFd >= 0) {
        if (flock(m_lockFd, LOCK_EX | LOCK_NB) == 0) {
            serve();
            return Claim::Run;
        }
        if (errno == EWOULDBLOCK) {
            return askRunningCopy();
        }
        error = errno;
        ::close(m_lockFd);
        m_lockFd = -1;
    }
    say(QStringLiteral("cannot lock %1/sonavex.lock (%2); running without the single-copy check")
            .arg(m_dir, error_text(error)));
    return Claim::Run;
}

void SingleInstance::serve() {
    listen();
    m_watch.start(kWatchMs);
}

// The copy holding the lock may be starting and not listen yet, have dropped this
// connection among many, or be on its way out, its server closed but its lock still held:
// each attempt that ends without an answer is tried again, and so is the lock, until the
// time is up. A lock that comes free makes this copy the first.
SingleInstance::Claim SingleInstance::askRunningCopy() {
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
                return Claim::Raised;
            }
        }
        if (flock(m_lockFd, LOCK_EX | LOCK_NB) == 0) {
            serve();
            return Claim::Run;
        }
        if (clock.elapsed() + kRetryMs >= kAnswerMs) {
            break;
        }
        QThread::msleep(kRetryMs);
    }
    say(QStringLiteral("another copy holds the lock in %1 but did not answer within %2 s; it "
                       "may be stopped or hung")
            .arg(m_dir)
            .arg(kAnswerMs / 1000));
    return Claim::NoAnswer;
}

// Only the copy holding the lock gets here, so a socket file already there was left by a
// copy that ended without removing it.
void SingleInstance::listen() {
    QLocalServer::removeServer(m_socketPath);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(m_socketPath) && !m_listenFailureSaid) {
        say(QStringLiteral("cannot listen on %1/sonavex.socket (%2); a later copy will not "
                           "bring this one to the front")
                .arg(m_dir, m_server.errorString()));
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
