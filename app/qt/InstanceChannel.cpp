#include "app/qt/InstanceChannel.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>

#include <algorithm>
#include <memory>

namespace dvo::qt {
namespace {

// A request is the folder's bytes and one NUL (no path holds one); the answer is one byte.
constexpr char kEndOfRequest = '\0';
constexpr char kTaken = '1';

} // namespace

InstanceChannel::InstanceChannel(const std::string& socketPath,
                                 std::function<void(std::string)> onRequest, QObject* parent)
    : QObject(parent), m_onRequest(std::move(onRequest)) {
    if (socketPath.empty())
        return;
    const QString name = QFile::decodeName(socketPath.c_str());
    m_server = new QLocalServer(this);
    // Only this user may connect, even if the folder around the socket were opened up.
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(name);
    if (!m_server->listen(name))
        return;
    connect(m_server, &QLocalServer::newConnection, this, &InstanceChannel::AcceptConnections);
}

InstanceChannel::~InstanceChannel() {
    if (m_server != nullptr)
        m_server->close(); // removes the socket file, so no later start waits on a dead name
}

bool InstanceChannel::Listening() const { return m_server != nullptr && m_server->isListening(); }

void InstanceChannel::AcceptConnections() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto received = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, received] {
            received->append(socket->readAll());
            const qsizetype end = received->indexOf(kEndOfRequest);
            if (end < 0) {
                if (received->size() > kMaxRequestBytes)
                    socket->abort();
                return;
            }
            std::string folder(received->constData(), static_cast<std::size_t>(end));
            received->clear();
            socket->write(&kTaken, 1);
            socket->flush();
            socket->disconnectFromServer();
            m_onRequest(std::move(folder));
        });
    }
}

bool InstanceChannel::Send(const std::string& socketPath, const std::string& folder,
                           int timeoutMs) {
    if (socketPath.empty() || folder.find(kEndOfRequest) != std::string::npos)
        return false;
    QElapsedTimer clock;
    clock.start();
    QLocalSocket socket;
    socket.connectToServer(QFile::decodeName(socketPath.c_str()));
    if (!socket.waitForConnected(timeoutMs))
        return false;
    QByteArray request(folder.data(), static_cast<qsizetype>(folder.size()));
    request.append(kEndOfRequest);
    socket.write(request);
    const auto left = [&] {
        return static_cast<int>(std::max<qint64>(0, timeoutMs - clock.elapsed()));
    };
    socket.flush();
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(left()))
            return false;
    while (socket.bytesAvailable() < 1)
        if (!socket.waitForReadyRead(left()))
            return false;
    char answer = 0;
    return socket.read(&answer, 1) == 1 && answer == kTaken;
}

} // namespace dvo::qt
