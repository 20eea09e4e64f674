#pragma once

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <optional>

class QLocalServer;
class QLocalSocket;

namespace quillmorph {

// How instances of the application reach each other: every instance listens on its socket in the
// instance registry; a process started with request URLs first offers them to a running instance,
// and a new instance asks older ones to quit through the same socket.
class InstanceChannel : public QObject {
    Q_OBJECT

  public:
    // One message, as written on the socket: the kind on the first line, one URL a line, then an
    // empty line. The receiver answers "ok" once it has the whole message.
    struct Message {
        enum class Kind { open, reopen, quit };
        Kind kind = Kind::open;
        QStringList urls; // open only

        bool operator==(const Message&) const = default;
    };
    [[nodiscard]] static QByteArray encode(const Message& message);
    // The complete message at the start of `data`; nothing while it is incomplete or malformed.
    [[nodiscard]] static std::optional<Message> decode(const QByteArray& data);

    explicit InstanceChannel(QObject* parent = nullptr);
    ~InstanceChannel() override;

    // Starts listening on this process's socket; false when the socket cannot be created.
    bool listen();

    // Hands `message` to the most recent running instance that accepts it; false when none did.
    // Blocks for at most a few seconds: for the start of a process, before it shows anything.
    [[nodiscard]] static bool offer(const Message& message);

    // Asks the instance `pid` to quit, without waiting for it.
    static void requestQuit(qint64 pid);

  signals:
    void urlsReceived(const QStringList& urls);
    void reopenRequested();
    void quitRequested();

  private:
    void accept(QLocalSocket* socket);

    QLocalServer* m_server;
};

} // namespace quillmorph
