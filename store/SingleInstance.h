#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QLocalServer;

namespace qd {

// One Qd per user and catalog root. A second start (a file manager opening a
// catalog with "qd FILE.qd") hands its file to the Qd that runs, which comes
// to the front and shows that disk, and ends; only when none runs does a
// window of its own open. The two meet at a local socket named after the
// catalog root, in the user's own runtime folder ($XDG_RUNTIME_DIR), else in
// the temporary folder under a name that holds the user's id.

// The socket's name for a catalog root (file-system bytes).
QString InstanceSocketName(const QByteArray& catalogRoot);

enum class HandOff {
    Handed,      // a running Qd took the file
    NoneRunning, // nothing listens there (or only a socket left by a Qd that ended without closing it)
    NoAnswer,    // something listens but did not take the file in time
};

// Hands file (as given on the command line, file-system bytes; empty for
// none) to the Qd listening at name, made absolute against the working folder
// here. Waits at most timeoutMs for the answer.
HandOff HandToRunningQd(const QString& name, const QByteArray& file, int timeoutMs = 5000);

// The running Qd's side: takes the files handed to it and emits them.
class TInstanceServer : public QObject {
    Q_OBJECT
public:
    explicit TInstanceServer(QObject* parent = nullptr);
    ~TInstanceServer() override;

    // Listens at name, for this user only; a socket left there by a Qd that
    // ended without closing it is taken over (call it only after
    // HandToRunningQd found none running). False when it cannot listen.
    bool listen(const QString& name);

signals:
    // A second start handed this file (absolute; empty when it named none).
    void handed(const QByteArray& file);

private:
    QLocalServer* server_;
};

} // namespace qd
