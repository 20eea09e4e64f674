#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <tl/expected.hpp>
#include <vector>

namespace quillmorph {

// One child process started with posix_spawn, leader of a process group of its own (so a Ctrl-C
// at the terminal reaches only us, and terminate() reaches anything the child started). Its
// standard input is /dev/null; each output stream goes to /dev/null or, when it has a handler,
// through a pipe drained by a thread of its own, the two streams concurrently. Only the three
// standard descriptors reach the child.
//
// The destructor terminates a child that still runs, reaps it and joins the readers: no zombie, no
// thread and no descriptor outlives the object, and no handler runs after it is gone.
class ChildProcess {
  public:
    // Runs on the stream's reader thread with each chunk read, in order, never concurrently with
    // itself; finally once with an empty view when the stream has ended. Must not throw.
    using Handler = std::function<void(std::string_view bytes)>;

    struct Launch {
        std::filesystem::path program;      // run as given: no PATH lookup
        std::vector<std::string> arguments; // without the program name
        Handler onOutput;                   // none: standard output goes to /dev/null
        Handler onError;                    // none: standard error goes to /dev/null
    };

    struct Exit {
        enum class Kind { exited, signalled };

        Kind kind = Kind::exited;
        int code = 0; // the exit status, or the signal's number

        [[nodiscard]] bool succeeded() const { return kind == Kind::exited && code == 0; }
        bool operator==(const Exit&) const = default;
    };

    // Fails with the error of creating the pipes or of posix_spawn (ENOENT, EACCES, ENOEXEC, ...).
    [[nodiscard]] static tl::expected<ChildProcess, std::error_code> start(Launch launch);

    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    // Blocks until both handlers have seen the end of their streams and the child has exited, then
    // reaps it. Later calls return the same answer at once.
    Exit wait();

    // Sends SIGTERM to the child's process group unless the child has been reaped, and SIGKILL 5 s
    // after the first SIGTERM if it has not been reaped by then. Any thread may call it, also while
    // another one waits.
    void terminate();

  private:
    struct State;
    explicit ChildProcess(std::unique_ptr<State> state);

    std::unique_ptr<State> m_state;
};

} // namespace quillmorph
