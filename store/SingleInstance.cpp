#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <limits.h>
#include <unistd.h>

namespace qd {
namespace {

// What the running Qd answers once it has the file.
constexpr char kTaken = 'k';
// A handed name longer than any path is no file of ours.
constexpr qint64 kLongestMessage = 64 * 1024;

QByteArray absolute(const QByteArray& file)
{
    if (file.isEmpty() || file.startsWith('/'))
        return file;
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd))
        return file;
    return QByteArray(cwd) + '/' + file;
}

} // namespace

QString InstanceSocketName(const QByteArray& catalogRoot)
{
    const QString id = QString::fromLatin1(QCryptographicHash::hash(catalogRoot, QCryptographicHash::Sha1).toHex().left(16));
    const QString runtime = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    if (!runtime.isEmpty() && QDir(runtime).exists())
        return runtime + QStringLiteral("/qd-") + id;
    return QDir::tempPath() + QStringLiteral("/qd-%1-").arg(::getuid()) + id;
}

HandOff HandToRunningQd(const QString& name, const QByteArray& file, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs))
        return socket.error() == QLocalSocket::SocketTimeoutError ? HandOff::NoAnswer : HandOff::NoneRunning;
    QDataStream out(&socket);
    out << absolute(file);
    socket.flush();
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(timeoutMs))
            return HandOff::NoAnswer;
    }
    char answer = 0;
    socket.getChar(&answer);
    return answer == kTaken ? HandOff::Handed : HandOff::NoAnswer;
}

TInstanceServer::TInstanceServer(QObject* parent) : QObject(parent), server_(new QLocalServer(this))
{
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->bytesAvailable() > kLongestMessage) {
                    socket->abort();
                    return;
                }
                QDataStream in(socket);
                in.startTransaction();
                QByteArray file;
                in >> file;
                if (!in.commitTransaction())
                    return; // the rest is still on its way
                // Answered first: what the window does with the file may ask
                // the user, and the second start need not wait for that. Told
                // once this handler has returned: a question lets events run,
                // and the socket, closed by then, goes with them.
                socket->putChar(kTaken);
                socket->flush();
                QMetaObject::invokeMethod(this, [this, file] { emit handed(file); }, Qt::QueuedConnection);
            });
        }
    });
}

TInstanceServer::~TInstanceServer() = default;

bool TInstanceServer::listen(const QString& name)
{
    if (server_->listen(name))
        return true;
    if (server_->serverError() != QAbstractSocket::AddressInUseError)
        return false;
    QLocalServer::removeServer(name);
    return server_->listen(name);
}

} // namespace qd
