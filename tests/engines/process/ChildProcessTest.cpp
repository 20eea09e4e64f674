#include "engines/process/ChildProcess.h"

#include "engines/process/LineBuffer.h"
#include "tests/engines/process/ProcessChecks.h"
#include "tests/support/TemporaryDirectory.h"

#include <csignal>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace quillmorph {
namespace {

using Lines = std::vector<std::string>;
using Exit = ChildProcess::Exit;

ChildProcess::Launch shell(std::string script) {
    return {.program = "/bin/sh", .arguments = {"-c", std::move(script)}, .onOutput = {}, .onError = {}};
}

TEST(ChildProcess, DeliversBothStreamsConcurrentlyAndTheExitStatus) {
    // Far beyond a pipe's buffer on standard error around standard output: reading one stream after the
    // other would block for ever. No descriptor without close-on-exec may reach it; cat gets an empty stdin.
    int leaky = open("/dev/null", O_RDONLY);
    Lines output;
    std::size_t errorBytes = 0;
    auto launch = shell("cat; head -c 3000000 /dev/zero >&2; echo one; ls /proc/$$/fd; printf 'two\\nthree'; "
                        "head -c 3000000 /dev/zero >&2; exit 3");
    launch.onOutput = byLine([&](std::string_view line) { output.emplace_back(line); });
    launch.onError = [&](std::string_view bytes) {
        errorBytes += bytes.size();
    };
    auto child = ChildProcess::start(std::move(launch));
    ASSERT_TRUE(child);
    EXPECT_EQ(child->wait(), (Exit{.kind = Exit::Kind::exited, .code = 3}));
    EXPECT_EQ(child->wait(), (Exit{.kind = Exit::Kind::exited, .code = 3}))
        << "a second wait answers the same";
    close(leaky);
    EXPECT_EQ(output, (Lines{"one", "0", "1", "2", "two", "three"}));
    EXPECT_EQ(errorBytes, 6000000u);
}

TEST(ChildProcess, ReportsLaunchFailures) {
    testing::TemporaryDirectory folder;
    const std::pair<std::filesystem::path, int> rows[] = {{folder / "missing", ENOENT},
                                                          {folder.path(), EACCES}};
    int descriptorsBefore = testing::openDescriptorCount();
    for (const auto& [program, error] : rows) {
        SCOPED_TRACE(program);
        ChildProcess::Launch launch{.program = program};
        launch.onOutput = launch.onError = [](std::string_view) {
        };
        auto child = ChildProcess::start(std::move(launch));
        ASSERT_FALSE(child);
        EXPECT_EQ(child.error(), std::error_code(error, std::system_category()));
    }
    EXPECT_EQ(testing::openDescriptorCount(), descriptorsBefore);
    EXPECT_FALSE(testing::hasChildren());
}

// A child that ignores SIGTERM (and its own child, which holds the pipes too) is killed 5 s later,
// by terminate() as by the destructor; the whole group goes.
TEST(ChildProcess, TerminateEndsTheWholeGroupAndKillsWhatIgnoresIt) {
    int descriptorsBefore = testing::openDescriptorCount();
    // Rows: script, left to the destructor (not terminate() from another thread), how it ends.
    const std::tuple<const char*, bool, Exit> rows[] = {
        {"echo ready; sleep 60", false, {.kind = Exit::Kind::signalled, .code = SIGTERM}},
        {"trap '' TERM; echo ready; sleep 60", false, {.kind = Exit::Kind::signalled, .code = SIGKILL}},
        {"echo ready; sleep 60", true, {}},
        {"trap '' TERM; echo ready; while :; do sleep 1; done", true, {}},
    };
    for (const auto& [script, destroyed, ending] : rows) {
        SCOPED_TRACE(script);
        {
            std::promise<void> ready;
            auto launch = shell(script);
            launch.onOutput = [&, once = true](std::string_view) mutable {
                if (std::exchange(once, false))
                    ready.set_value();
            };
            auto child = ChildProcess::start(std::move(launch));
            ASSERT_TRUE(child);
            ready.get_future().wait();
            auto moved = std::move(*child); // the object, not the child, moves
            if (!destroyed) {
                std::thread canceller([&] { moved.terminate(); });
                EXPECT_EQ(moved.wait(), ending);
                canceller.join();
                moved.terminate(); // after reaping: no effect, no signal to a recycled pid
            }
        }
        EXPECT_FALSE(testing::hasChildren());
    }
    EXPECT_EQ(testing::openDescriptorCount(), descriptorsBefore);
}

} // namespace
} // namespace quillmorph
