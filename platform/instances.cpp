#include "platform/instances.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMetaObject>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/clock.h"
#include "platform/eventpump.h"

namespace orvix {

namespace {
// One byte each way: the question, then "1" (the renderer link runs) or "0".
constexpr char kQuestion = '?';
constexpr char kYes = '1';
constexpr char kNo = '0';
constexpr int kPumpSliceMs = 10;
} // namespace

CInstanceHandshake::CInstanceHandshake(std::string folder)
    : folder_(folder.empty() ? DefaultFolder(&privateBase_) : std::move(folder))
{
}

CInstanceHandshake::~CInstanceHandshake()
{
    if (thread_) {
        // The server closes (and removes its socket file) on its own thread.
        QMetaObject::invokeMethod(context_, [this] { delete context_; }, Qt::BlockingQueuedConnection);
        thread_->quit();
        thread_->wait();
    }
    if (!privateBase_.empty()) {
        rmdir(folder_.c_str());
        rmdir(privateBase_.c_str());
    }
}

std::string CInstanceHandshake::DefaultFolder(std::string* madePrivate)
{
    QByteArray own = qgetenv("ORVIX_INSTANCES");
    if (!own.isEmpty())
        return own.toStdString();
    QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return runtime.toStdString() + "/orvix-instances";
    const std::string shared = QDir::tempPath().toStdString() + "/orvix-" + std::to_string(getuid());
    // Another user who made the folder first would see, answer or block every question.
    struct stat st;
    if ((mkdir(shared.c_str(), 0700) == 0 || errno == EEXIST) && lstat(shared.c_str(), &st) == 0
        && S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 0777) == 0700)
        return shared + "/orvix-instances";
    std::string base = shared + "-XXXXXX";
    if (!mkdtemp(base.data()))
        return shared + "/orvix-instances"; // Listen refuses it unless it is the user's
    if (madePrivate)
        *madePrivate = base;
    return base + "/orvix-instances";
}

bool CInstanceHandshake::Listen()
{
    if (thread_)
        return true;
    QDir().mkpath(QString::fromLocal8Bit(folder_.c_str()));
    // The socket never goes into a folder of another user's, nor through a link.
    struct stat st;
    if (lstat(folder_.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid())
        return false;
    chmod(folder_.c_str(), 0700);
    std::string path = folder_ + "/" + std::to_string(getpid());

    thread_ = std::make_unique<QThread>();
    thread_->setObjectName("orvix-instances");
    thread_->start();
    context_ = new QObject;
    context_->moveToThread(thread_.get());
    bool listening = false;
    QMetaObject::invokeMethod(
        context_,
        [this, &path, &listening] {
            QString name = QString::fromLocal8Bit(path.c_str());
            // A file of this name is left by an earlier process with our number: nobody uses it.
            QLocalServer::removeServer(name);
            auto* server = new QLocalServer(context_);
            server->setSocketOptions(QLocalServer::UserAccessOption);
            QObject::connect(server, &QLocalServer::newConnection, server, [this, server] {
                while (QLocalSocket* peer = server->nextPendingConnection()) {
                    QObject::connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
                    QObject::connect(peer, &QLocalSocket::readyRead, peer, [this, peer] {
                        if (!peer->readAll().contains(kQuestion))
                            return;
                        peer->write(rendererRunning_ ? &kYes : &kNo, 1);
                        peer->flush();
                        peer->disconnectFromServer();
                    });
                }
            });
            listening = server->listen(name);
        },
        Qt::BlockingQueuedConnection);
    if (!listening) {
        QMetaObject::invokeMethod(context_, [this] { delete context_; }, Qt::BlockingQueuedConnection);
        context_ = nullptr;
        thread_->quit();
        thread_->wait();
        thread_.reset();
        return false;
    }
    socketPath_ = path;
    return true;
}

bool CInstanceHandshake::AskOtherInstances(int timeoutMs, std::function<bool(int)> pump)
{
    if (!pump)
        pump = [](int ms) {
            PumpEvents(ms);
            return true;
        };
    QDir dir(QString::fromLocal8Bit(folder_.c_str()));
    const QStringList names = dir.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        std::string path = folder_ + "/" + name.toStdString();
        if (path == socketPath_)
            continue;
        QLocalSocket socket;
        int answer = -1;
        bool gone = false;
        QObject::connect(&socket, &QLocalSocket::connected, &socket, [&socket] { socket.write(&kQuestion, 1); });
        QObject::connect(&socket, &QLocalSocket::readyRead, &socket, [&] {
            QByteArray got = socket.readAll();
            if (!got.isEmpty())
                answer = got.at(0) == kYes ? 1 : 0;
        });
        QObject::connect(&socket, &QLocalSocket::errorOccurred, &socket, [&](QLocalSocket::LocalSocketError error) {
            if (answer >= 0)
                return;
            answer = 0;
            // Nobody listens there any more: the file of an instance that ended abruptly.
            gone = error == QLocalSocket::ConnectionRefusedError;
        });
        socket.connectToServer(QString::fromLocal8Bit(path.c_str()));
        uint32_t t0 = TickMs();
        bool quit = false;
        while (answer < 0) {
            uint32_t waited = TickMs() - t0;
            if (waited >= static_cast<uint32_t>(timeoutMs))
                break;
            if (!pump(std::min<int>(kPumpSliceMs, timeoutMs - static_cast<int>(waited)))) {
                quit = true;
                break;
            }
        }
        socket.abort();
        if (gone)
            QFile::remove(QString::fromLocal8Bit(path.c_str()));
        if (quit)
            return false;
        if (answer == 1)
            return true;
    }
    return false;
}

} // namespace orvix
