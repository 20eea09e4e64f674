#include "FeedServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace quillmorph::testing {

FeedServer::FeedServer(Answer answer) : m_answer(std::move(answer)) {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}};
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 8) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("the feed server cannot listen");
    m_port = ntohs(address.sin_port);
    // Made before any client waits for it: 50 MB take a while under the sanitizers.
    m_response = "HTTP/1.1 " + std::to_string(m_answer.status) +
                 " Feed\r\nContent-Type: " + m_answer.contentType + "\r\nConnection: close\r\n";
    if (m_answer.announcesLength)
        m_response += "Content-Length: " + std::to_string(m_answer.body.size() + m_answer.padding) + "\r\n";
    m_response += "\r\n" + m_answer.body + std::string(m_answer.padding, ' ');
    m_thread = std::thread([this] { serve(); });
}

FeedServer::~FeedServer() {
    // Wakes the thread's accept, which then fails.
    ::shutdown(m_listener, SHUT_RDWR);
    m_thread.join();
    ::close(m_listener);
}

void FeedServer::serve() {
    // The kernel completes the connection of a silent server's client; no one reads its request.
    for (int connection;
         !m_answer.silent && (connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
        // The request's headers end with a blank line; a client that sends none is given up on.
        const timeval patience{.tv_sec = 5};
        ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
        std::string request;
        char buffer[4096];
        for (ssize_t received = 1; received > 0 && request.find("\r\n\r\n") == std::string::npos;) {
            received = ::recv(connection, buffer, sizeof buffer, 0);
            request.append(buffer, std::size_t(std::max<ssize_t>(received, 0)));
        }
        // A client that hangs up has stopped reading, as it should.
        for (std::size_t offset = 0, sent = 1; offset < m_response.size() && sent > 0; offset += sent) {
            sent = std::size_t(std::max<ssize_t>(
                ::send(connection, m_response.data() + offset, m_response.size() - offset, MSG_NOSIGNAL), 0));
            m_bytesSent += sent;
        }
        ::close(connection);
    }
}

} // namespace quillmorph::testing
