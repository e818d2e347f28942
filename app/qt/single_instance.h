#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <memory>

// One copy per user session: the first copy holds a lock file in the user's runtime
// directory and listens on a local socket beside it; a later copy finds the lock taken,
// asks the first copy through the socket to come to the front and gives up.
class SingleInstance : public QObject {
    Q_OBJECT
  public:
    explicit SingleInstance(QObject *parent = nullptr);
    // True when this is the only copy (it then holds the lock and listens); false when
    // another copy runs, which has been asked to raise its window.
    bool claim();

  signals:
    // Another copy was started: the window should come to the front.
    void raiseRequested();

  private:
    void acceptConnection();

    QString m_lockPath;
    QString m_socketPath;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
};
