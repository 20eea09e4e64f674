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
    ChildProcess::Launch launch;
    launch.program = "/bin/sh";
    launch.arguments = {"-c", std::move(script)};
    return launch;
}

TEST(ChildProcess, DeliversBothStreamsAsLinesAndTheExitStatus) {
    Lines output;
    Lines errors;
    auto launch = shell("echo one; echo oops >&2; printf 'two\\nthree'; exit 3");
    launch.onOutput = byLine([&](std::string_view line) { output.emplace_back(line); });
    launch.onError = byLine([&](std::string_view line) { errors.emplace_back(line); });
    auto child = ChildProcess::start(std::move(launch));
    ASSERT_TRUE(child);

    EXPECT_EQ(child->wait(), (Exit{.kind = Exit::Kind::exited, .code = 3}));
    EXPECT_EQ(output, (Lines{"one", "two", "three"}));
    EXPECT_EQ(errors, (Lines{"oops"}));
    EXPECT_EQ(child->wait(), (Exit{.kind = Exit::Kind::exited, .code = 3}))
        << "a second wait answers the same";

    // Without a handler a stream goes nowhere; standard input is empty, so cat ends at once.
    output.clear();
    auto quiet = shell("cat; echo discarded >&2; echo shown");
    quiet.onOutput = byLine([&](std::string_view line) { output.emplace_back(line); });
    auto other = ChildProcess::start(std::move(quiet));
    ASSERT_TRUE(other);
    EXPECT_TRUE(other->wait().succeeded());
    EXPECT_EQ(output, (Lines{"shown"}));
}

TEST(ChildProcess, ReadsBothStreamsConcurrently) {
    // Far beyond a pipe's buffer on standard error before a word on standard output: reading the
    // streams one after the other would block both processes forever.
    std::size_t errorBytes = 0;
    std::string output;
    auto launch = shell("head -c 3000000 /dev/zero >&2; echo done; head -c 3000000 /dev/zero >&2");
    launch.onOutput = [&](std::string_view bytes) {
        output.append(bytes);
    };
    launch.onError = [&](std::string_view bytes) {
        errorBytes += bytes.size();
    };
    auto child = ChildProcess::start(std::move(launch));
    ASSERT_TRUE(child);
    EXPECT_TRUE(child->wait().succeeded());
    EXPECT_EQ(output, "done\n");
    EXPECT_EQ(errorBytes, 6000000u);
}

TEST(ChildProcess, PassesOnlyTheStandardDescriptors) {
    // A descriptor some library opened without close-on-exec.
    int leaky = open("/dev/null", O_RDONLY);
    ASSERT_GE(leaky, 0);
    Lines descriptors;
    auto launch = shell("ls /proc/$$/fd");
    launch.onOutput = byLine([&](std::string_view line) { descriptors.emplace_back(line); });
    auto child = ChildProcess::start(std::move(launch));
    ASSERT_TRUE(child);
    EXPECT_TRUE(child->wait().succeeded());
    close(leaky);
    EXPECT_EQ(descriptors, (Lines{"0", "1", "2"}));
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

TEST(ChildProcess, TerminateFromAnotherThreadEndsTheWholeGroup) {
    int descriptorsBefore = testing::openDescriptorCount();
    {
        std::promise<void> started;
        // The shell's own child keeps the pipes open too: only a signal to the group ends both.
        auto launch = shell("echo ready; sleep 60; echo never");
        launch.onOutput = byLine([&, once = true](std::string_view) mutable {
            if (std::exchange(once, false))
                started.set_value();
        });
        launch.onError = [](std::string_view) {
        };
        auto child = ChildProcess::start(std::move(launch));
        ASSERT_TRUE(child);
        started.get_future().wait();
        std::thread canceller([&] { child->terminate(); });
        Exit exit = child->wait();
        canceller.join();
        EXPECT_EQ(exit, (Exit{.kind = Exit::Kind::signalled, .code = SIGTERM}));
        child->terminate(); // after reaping: no effect, no signal to a recycled pid
    }
    EXPECT_EQ(testing::openDescriptorCount(), descriptorsBefore);
    EXPECT_FALSE(testing::hasChildren());
}

TEST(ChildProcess, DestructorEndsAndReapsARunningChildEvenOneThatIgnoresTerminate) {
    int descriptorsBefore = testing::openDescriptorCount();
    for (const char* script :
         {"echo ready; sleep 60", "trap '' TERM; echo ready; while :; do sleep 1; done"}) {
        SCOPED_TRACE(script);
        {
            std::promise<void> started;
            auto launch = shell(script);
            launch.onOutput = [&, once = true](std::string_view) mutable {
                if (std::exchange(once, false))
                    started.set_value();
            };
            auto child = ChildProcess::start(std::move(launch));
            ASSERT_TRUE(child);
            started.get_future().wait();
            auto moved = std::move(*child); // the object, not the child, moves
        }
        EXPECT_FALSE(testing::hasChildren());
    }
    EXPECT_EQ(testing::openDescriptorCount(), descriptorsBefore);
}

} // namespace
} // namespace quillmorph
