#include "InstanceChannel.h"

#include "InstanceRegistry.h"

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <memory>

namespace quillmorph {

namespace {

constexpr int connectTimeout = 1000;
// Generous: the receiving instance answers from its event loop, which may be busy drawing.
constexpr int answerTimeout = 5000;
// A request for many thousand files is still far below this; anything larger is not ours.
constexpr qsizetype maximumMessage = 64 * 1024 * 1024;
const QByteArray accepted = QByteArrayLiteral("ok\n");

QByteArray kindName(InstanceChannel::Message::Kind kind) {
    switch (kind) {
    case InstanceChannel::Message::Kind::open:
        return QByteArrayLiteral("open");
    case InstanceChannel::Message::Kind::reopen:
        return QByteArrayLiteral("reopen");
    case InstanceChannel::Message::Kind::quit:
        return QByteArrayLiteral("quit");
    }
    return {};
}

bool deliver(const QString& path, const QByteArray& data) {
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(connectTimeout))
        return false;
    socket.write(data);
    if (!socket.waitForBytesWritten(answerTimeout))
        return false;
    QByteArray answer;
    while (answer.size() < accepted.size() && socket.waitForReadyRead(answerTimeout))
        answer += socket.readAll();
    return answer.startsWith(accepted);
}

} // namespace

QByteArray InstanceChannel::encode(const Message& message) {
    QByteArray data = kindName(message.kind) + '\n';
    for (const QString& url : message.urls) {
        // A line break would split the URL; such a URL is no request anyway.
        if (!url.contains(QLatin1Char('\n')) && !url.isEmpty())
            data += url.toUtf8() + '\n';
    }
    return data + '\n';
}

std::optional<InstanceChannel::Message> InstanceChannel::decode(const QByteArray& data) {
    const qsizetype end = data.indexOf("\n\n");
    if (end < 0)
        return std::nullopt;
    const QList<QByteArray> lines = data.left(end).split('\n');
    Message message;
    if (lines.front() == kindName(Message::Kind::open))
        message.kind = Message::Kind::open;
    else if (lines.front() == kindName(Message::Kind::reopen))
        message.kind = Message::Kind::reopen;
    else if (lines.front() == kindName(Message::Kind::quit))
        message.kind = Message::Kind::quit;
    else
        return std::nullopt;
    for (qsizetype index = 1; index < lines.size(); ++index)
        message.urls.append(QString::fromUtf8(lines[index]));
    if (message.kind != Message::Kind::open && !message.urls.isEmpty())
        return std::nullopt;
    return message;
}

InstanceChannel::InstanceChannel(QObject* parent) : QObject(parent), m_server(new QLocalServer(this)) {
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection())
            accept(socket);
    });
}

InstanceChannel::~InstanceChannel() {
    m_server->close();
}

bool InstanceChannel::listen() {
    const QString path = InstanceRegistry::socketPath(QCoreApplication::applicationPid());
    if (path.isEmpty())
        return false;
    // A socket of a dead process that had the same id.
    QLocalServer::removeServer(path);
    return m_server->listen(path);
}

void InstanceChannel::accept(QLocalSocket* socket) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    auto buffer = std::make_shared<QByteArray>();
    connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
        *buffer += socket->readAll();
        std::optional<Message> message = decode(*buffer);
        if (!message) {
            // Malformed (complete but not understood) or larger than any request: hang up.
            if (buffer->contains("\n\n") || buffer->size() > maximumMessage)
                socket->abort();
            return;
        }
        // One message per connection: whatever follows it is not read.
        disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
        socket->write(accepted);
        socket->disconnectFromServer();
        // Handled once the answer is on its way, never inside the socket's own signal.
        QMetaObject::invokeMethod(
            this,
            [this, message = *std::move(message)] {
                switch (message.kind) {
                case Message::Kind::open:
                    emit urlsReceived(message.urls);
                    return;
                case Message::Kind::reopen:
                    emit reopenRequested();
                    return;
                case Message::Kind::quit:
                    emit quitRequested();
                    return;
                }
            },
            Qt::QueuedConnection);
    });
}

bool InstanceChannel::offer(const Message& message) {
    const QByteArray data = encode(message);
    for (const qint64 pid : InstanceRegistry::others()) {
        if (deliver(InstanceRegistry::socketPath(pid), data))
            return true;
    }
    return false;
}

void InstanceChannel::requestQuit(qint64 pid) {
    auto* socket = new QLocalSocket(QCoreApplication::instance());
    QObject::connect(socket, &QLocalSocket::connected, socket, [socket] {
        socket->write(encode({.kind = Message::Kind::quit}));
        socket->disconnectFromServer();
    });
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    QObject::connect(socket, &QLocalSocket::errorOccurred, socket, &QObject::deleteLater);
    socket->connectToServer(InstanceRegistry::socketPath(pid));
}

} // namespace quillmorph
