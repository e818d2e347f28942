#pragma once

#include <QList>
#include <QLocalServer>
#include <QObject>
#include <QTimer>

class QLocalSocket;

// One copy per user session. The first copy holds a lock on a file in the user's private
// runtime directory (the kernel lets it go when the process ends, however it ends) and
// listens on a local socket beside it. A later copy finds the lock held, asks the first
// copy through the socket to come to the front and waits for its answer; should the lock
// come free meanwhile (the first copy was ending), it becomes the first copy itself.
//
// Without a private runtime directory (missing, a symbolic link, or not the user's alone),
// or when the lock cannot be taken for any reason other than another copy holding it, the
// program runs without the check, saying why in one line on standard error.
class SingleInstance : public QObject {
    Q_OBJECT
  public:
    enum class Claim {
        Run,      // this copy runs: it holds the lock and listens, or it runs unchecked
        Raised,   // another copy runs and has answered that it came to the front
        NoAnswer, // another copy holds the lock but did not answer in time (said on stderr)
    };

    explicit SingleInstance(QObject *parent = nullptr);
    ~SingleInstance() override;
    Claim claim();

  signals:
    // Another copy was started: the window should come to the front. Connected handlers
    // run before the other copy is told that it did.
    void raiseRequested();

  private:
    Claim askRunningCopy();
    void serve();
    void listen();
    void watchServer();
    void acceptConnections();
    void readRequest(QLocalSocket *socket);
    void drop(QLocalSocket *socket);

    QString m_dir;                       // the runtime directory as named, for messages
    int m_dirFd = -1;                    // that directory, checked; the files are reached in it
    QString m_socketPath;                // the socket, by a short path through m_dirFd
    int m_lockFd = -1;                   // the locked file, open while the program runs
    QLocalServer m_server;               // answers later copies
    QTimer m_watch;                      // listens again when the server has stopped
    bool m_listenFailureSaid = false;    // a failure to listen is reported once
    QList<QLocalSocket *> m_connections; // accepted and not yet answered, oldest first
};
