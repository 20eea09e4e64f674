#include "FeedServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace quillmorph::testing {
namespace {

bool sendAll(int connection, const char* data, std::size_t size, std::atomic<std::size_t>& counter) {
    while (size > 0) {
        const ssize_t sent = ::send(connection, data, size, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        counter += std::size_t(sent);
        data += sent;
        size -= std::size_t(sent);
    }
    return true;
}

// Reads until the blank line that ends the request's headers, or until the client stops.
void readRequest(int connection) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
        pollfd readable{.fd = connection, .events = POLLIN};
        if (::poll(&readable, 1, 5000) <= 0)
            return;
        const ssize_t received = ::recv(connection, buffer, sizeof buffer, 0);
        if (received <= 0)
            return;
        request.append(buffer, std::size_t(received));
    }
}

} // namespace

FeedServer::FeedServer(Answer answer) : m_answer(std::move(answer)) {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}};
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 8) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe2(m_stop, O_CLOEXEC) != 0)
        throw std::runtime_error("the feed server cannot listen");
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

FeedServer::~FeedServer() {
    const char stop = 0;
    (void)!::write(m_stop[1], &stop, 1);
    m_thread.join();
    for (int connection : m_heldConnections)
        ::close(connection);
    ::close(m_listener);
    ::close(m_stop[0]);
    ::close(m_stop[1]);
}

std::string FeedServer::url() const {
    return "http://127.0.0.1:" + std::to_string(m_port) + "/version.json";
}

void FeedServer::serve() {
    for (;;) {
        pollfd events[2] = {{.fd = m_listener, .events = POLLIN}, {.fd = m_stop[0], .events = POLLIN}};
        if (::poll(events, 2, -1) < 0 || events[1].revents != 0)
            return;
        const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            continue;
        readRequest(connection);
        if (m_answer.silent) {
            m_heldConnections.push_back(connection);
            continue;
        }
        answer(connection);
        ::close(connection);
    }
}

void FeedServer::answer(int connection) {
    std::string headers = "HTTP/1.1 " + std::to_string(m_answer.status) +
                          " Feed\r\nContent-Type: " + m_answer.contentType + "\r\nConnection: close\r\n";
    if (m_answer.announcesLength)
        headers += "Content-Length: " + std::to_string(m_answer.body.size() + m_answer.padding) + "\r\n";
    headers += "\r\n";
    if (!sendAll(connection, headers.data(), headers.size(), m_bytesSent) ||
        !sendAll(connection, m_answer.body.data(), m_answer.body.size(), m_bytesSent))
        return;
    const std::string chunk(64 * 1024, ' ');
    for (std::size_t left = m_answer.padding; left > 0;) {
        const std::size_t size = std::min(left, chunk.size());
        // The client hung up: it stopped reading, as it should.
        if (!sendAll(connection, chunk.data(), size, m_bytesSent))
            return;
        left -= size;
    }
}

} // namespace quillmorph::testing
