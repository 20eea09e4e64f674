#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <thread>

namespace quillmorph::testing {

// An HTTP server on 127.0.0.1 with a port of its own, answering every request the same way, on a
// thread of its own until it is destroyed.
class FeedServer {
  public:
    struct Answer {
        int status = 200;
        std::string contentType = "application/json";
        std::string body;
        // This many bytes of padding follow the body, sent as they are read (for oversized feeds).
        std::size_t padding = 0;
        // Without a length the body ends when the connection closes.
        bool announcesLength = true;
        // Never accept the connection: the client's request is left unanswered.
        bool silent = false;
    };

    explicit FeedServer(Answer answer);
    ~FeedServer();

    // The address of the feed, "http://127.0.0.1:PORT/version.json".
    [[nodiscard]] std::string url() const {
        return "http://127.0.0.1:" + std::to_string(m_port) + "/version.json";
    }
    // Bytes of answers written so far, headers included.
    [[nodiscard]] std::size_t bytesSent() const { return m_bytesSent; }

  private:
    void serve();

    Answer m_answer;
    std::string m_response;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<std::size_t> m_bytesSent = 0;
    std::thread m_thread;
};

} // namespace quillmorph::testing
