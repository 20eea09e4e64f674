#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <thread>
#include <vector>

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
        // Accept the connection, read the request, and never answer.
        bool silent = false;
    };

    explicit FeedServer(Answer answer);
    ~FeedServer();
    FeedServer(const FeedServer&) = delete;
    FeedServer& operator=(const FeedServer&) = delete;

    // The address of the feed, "http://127.0.0.1:PORT/version.json".
    [[nodiscard]] std::string url() const;
    // Bytes of answers written so far, headers included.
    [[nodiscard]] std::size_t bytesSent() const { return m_bytesSent; }

  private:
    void serve();
    void answer(int connection);

    Answer m_answer;
    int m_listener = -1;
    int m_stop[2] = {-1, -1};
    int m_port = 0;
    std::atomic<std::size_t> m_bytesSent = 0;
    std::vector<int> m_heldConnections;
    std::thread m_thread;
};

} // namespace quillmorph::testing
