#include "ChildProcess.h"

#include "common/FileDescriptor.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace quillmorph {
namespace {

// How long a child that ignores SIGTERM may linger before SIGKILL.
constexpr auto terminationGrace = std::chrono::seconds(5);

struct Pipe {
    FileDescriptor readEnd;
    FileDescriptor writeEnd;
};

std::error_code lastError() {
    return {errno, std::system_category()};
}

tl::expected<std::optional<Pipe>, std::error_code> pipeFor(const ChildProcess::Handler& handler) {
    if (!handler)
        return std::nullopt;
    int ends[2];
    // Close-on-exec, so that children started by other threads never inherit our ends.
    if (pipe2(ends, O_CLOEXEC) != 0)
        return tl::unexpected(lastError());
    return Pipe{FileDescriptor(ends[0]), FileDescriptor(ends[1])};
}

class SpawnActions {
  public:
    SpawnActions() { posix_spawn_file_actions_init(&m_actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&m_actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;

    void connect(int target, const std::optional<Pipe>& pipe, int nullMode) {
        if (pipe)
            posix_spawn_file_actions_adddup2(&m_actions, pipe->writeEnd.get(), target);
        else
            posix_spawn_file_actions_addopen(&m_actions, target, "/dev/null", nullMode, 0);
    }
    // Descriptors of other libraries that were opened without close-on-exec stay with us.
    void closeTheRest() { posix_spawn_file_actions_addclosefrom_np(&m_actions, STDERR_FILENO + 1); }

    [[nodiscard]] const posix_spawn_file_actions_t* get() const { return &m_actions; }

  private:
    posix_spawn_file_actions_t m_actions;
};

class SpawnAttributes {
  public:
    SpawnAttributes() {
        posix_spawnattr_init(&m_attributes);
        posix_spawnattr_setpgroup(&m_attributes, 0);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&m_attributes, &none);
        // Signals the parent ignores stay ignored across exec; the child gets the defaults back.
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int signal : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD})
            sigaddset(&defaults, signal);
        posix_spawnattr_setsigdefault(&m_attributes, &defaults);
        posix_spawnattr_setflags(&m_attributes,
                                 POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnAttributes() { posix_spawnattr_destroy(&m_attributes); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;

    [[nodiscard]] const posix_spawnattr_t* get() const { return &m_attributes; }

  private:
    posix_spawnattr_t m_attributes;
};

void drain(FileDescriptor descriptor, const ChildProcess::Handler& handler) {
    std::array<char, 16384> buffer;
    for (;;) {
        ssize_t count = read(descriptor.get(), buffer.data(), buffer.size());
        if (count > 0)
            handler(std::string_view(buffer.data(), std::size_t(count)));
        else if (count < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    handler({});
}

std::thread reader(std::optional<Pipe>& pipe, ChildProcess::Handler handler) {
    if (!pipe)
        return {};
    return std::thread(drain, std::move(pipe->readEnd), std::move(handler));
}

} // namespace

struct ChildProcess::State {
    pid_t pid = -1;
    std::thread outputReader;
    std::thread errorReader;

    std::mutex waitMutex; // one waiter at a time
    std::optional<Exit> exit;

    std::mutex reapMutex; // a reaped pid may already belong to someone else
    std::condition_variable reapedNow;
    bool reaped = false;
    std::thread killer; // sends SIGKILL once the grace after the first SIGTERM has passed

    ~State() {
        if (!exit) {
            terminate();
            wait();
        }
        if (killer.joinable())
            killer.join();
    }

    // Needs reapMutex held.
    void signal(int number) const {
        if (kill(-pid, number) != 0)
            kill(pid, number);
    }

    void terminate() {
        std::lock_guard lock(reapMutex);
        if (reaped)
            return;
        signal(SIGTERM);
        if (killer.joinable())
            return;
        killer = std::thread([this] {
            std::unique_lock waiting(reapMutex);
            if (!reapedNow.wait_for(waiting, terminationGrace, [this] { return reaped; }))
                signal(SIGKILL);
        });
    }

    Exit wait() {
        std::lock_guard waiting(waitMutex);
        if (exit)
            return *exit;
        if (outputReader.joinable())
            outputReader.join();
        if (errorReader.joinable())
            errorReader.join();
        // Wait without reaping, so that terminate() never signals a recycled pid.
        siginfo_t info{};
        while (waitid(P_PID, id_t(pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
        }
        int status = 0;
        pid_t reapedPid = -1;
        {
            std::lock_guard lock(reapMutex);
            while ((reapedPid = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
            }
            reaped = true;
        }
        reapedNow.notify_all();
        if (reapedPid != pid)
            exit = Exit{.kind = Exit::Kind::exited, .code = -1}; // reaped behind our back
        else if (WIFSIGNALED(status))
            exit = Exit{.kind = Exit::Kind::signalled, .code = WTERMSIG(status)};
        else
            exit = Exit{.kind = Exit::Kind::exited, .code = WEXITSTATUS(status)};
        return *exit;
    }
};

tl::expected<ChildProcess, std::error_code> ChildProcess::start(Launch launch) {
    auto output = pipeFor(launch.onOutput);
    if (!output)
        return tl::unexpected(output.error());
    auto error = pipeFor(launch.onError);
    if (!error)
        return tl::unexpected(error.error());

    SpawnActions actions;
    actions.connect(STDIN_FILENO, std::nullopt, O_RDONLY);
    actions.connect(STDOUT_FILENO, *output, O_WRONLY);
    actions.connect(STDERR_FILENO, *error, O_WRONLY);
    actions.closeTheRest();
    SpawnAttributes attributes;

    std::string program = launch.program.string();
    std::vector<char*> argv;
    argv.push_back(program.data());
    for (std::string& argument : launch.arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_t pid = -1;
    if (int failure =
            posix_spawn(&pid, program.c_str(), actions.get(), attributes.get(), argv.data(), environ))
        return tl::unexpected(std::error_code(failure, std::system_category()));

    auto state = std::make_unique<State>();
    state->pid = pid;
    // Our copies of the write ends must go, or the readers would never see the end of the streams.
    if (*output)
        (*output)->writeEnd = {};
    if (*error)
        (*error)->writeEnd = {};
    state->outputReader = reader(*output, std::move(launch.onOutput));
    state->errorReader = reader(*error, std::move(launch.onError));
    return ChildProcess(std::move(state));
}

ChildProcess::ChildProcess(std::unique_ptr<State> state) : m_state(std::move(state)) {}
ChildProcess::ChildProcess(ChildProcess&& other) noexcept = default;
ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept = default;
ChildProcess::~ChildProcess() = default;

ChildProcess::Exit ChildProcess::wait() {
    return m_state->wait();
}

void ChildProcess::terminate() {
    m_state->terminate();
}

} // namespace quillmorph
