// The video engines' speed on a generated 1080p clip with audio (testsrc2 and a sine tone):
//   1. our ffmpeg runner (VideoEncoder) against starting ffmpeg by hand with the very same
//      argument list, its output streams discarded: the runner's overhead, wall time and the
//      processor time of our own process (the reader threads);
//   2. the in-process engine (NativeVideoEngine) against the runner at the same settings.
// Runs alternate so that a busy machine slows both sides alike; the median of each is reported.
//
//   video_bench [seconds of clip] [rounds] [folder]     defaults: 8, 3, a folder under /tmp

#include "bench/ProcessorTime.h"
#include "engines/video/FFmpegTool.h"
#include "engines/video/NativeVideoEngine.h"
#include "engines/video/VideoEncoder.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

using namespace quillmorph;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Sample {
    double seconds = 0;
    double ownProcessorSeconds = 0; // this process alone, children not counted
};

double ownProcessorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return bench::processorSeconds(usage);
}

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "video_bench: %s\n", what.c_str());
    std::exit(1);
}

int run(std::vector<std::string> command, bool quiet) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    std::vector<char*> argv;
    for (std::string& argument : command)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = -1;
    int started = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0)
        fail("cannot start " + command.front());
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

template <typename Work> Sample measure(Work work) {
    double processorBefore = ownProcessorSeconds();
    auto start = Clock::now();
    work();
    return {std::chrono::duration<double>(Clock::now() - start).count(),
            ownProcessorSeconds() - processorBefore};
}

Sample median(std::vector<Sample> samples) {
    std::ranges::sort(samples, {}, &Sample::seconds);
    return samples[samples.size() / 2];
}

void encodeWith(VideoEncoding&& engine, const fs::path& input, const fs::path& output, const VideoInfo& info,
                const VideoSettings& settings) {
    fs::remove(output);
    auto encoded = engine.encode(
        input, output, info, settings, [](double) {}, [](std::function<void()> report) { report(); });
    if (!encoded)
        fail(describe(encoded.error()));
}

} // namespace

int main(int argc, char** argv) {
    const int clipSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 8;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const fs::path folder =
        argc > 3 ? fs::path(argv[3]) : fs::temp_directory_path() / "quillmorph-video-bench";
    fs::create_directories(folder);
    const std::optional<fs::path> ffmpeg = FFmpegTool::path(FFmpegTool::ffmpeg);
    if (!ffmpeg || !FFmpegTool::path(FFmpegTool::ffprobe))
        fail("ffmpeg and ffprobe are needed");

    const fs::path clip = folder / ("clip-1080p-" + std::to_string(clipSeconds) + "s.mp4");
    if (!fs::exists(clip) &&
        run({ffmpeg->string(),
             "-v",
             "error",
             "-y",
             "-f",
             "lavfi",
             "-i",
             "testsrc2=size=1920x1080:rate=30:duration=" + std::to_string(clipSeconds),
             "-f",
             "lavfi",
             "-i",
             "sine=frequency=440:sample_rate=48000:duration=" + std::to_string(clipSeconds),
             "-ac",
             "2",
             "-c:v",
             "libx264",
             "-preset",
             "veryfast",
             "-b:v",
             "8000k",
             "-pix_fmt",
             "yuv420p",
             "-c:a",
             "aac",
             "-shortest",
             clip.string()},
            false) != 0)
        fail("cannot make the clip");
    auto info = FFmpegTool::probe(clip);
    if (!info)
        fail(describe(info.error()));

    // The "web-720" preset's values without its frame-rate cap, so that both engines do the same
    // work: scale to 1280×720, H.264 at 2000 kbit/s, AAC at 96 kbit/s.
    const VideoSettings settings{
        .sizing = FrameSizing::fit(1280, 720), .videoBitrate = 2000, .audioBitrate = 96};
    const fs::path byHand = folder / "by-hand.mp4";
    const fs::path byRunner = folder / "runner.mp4";
    const fs::path inProcess = folder / "in-process.mp4";
    std::vector<std::string> command{ffmpeg->string()};
    for (std::string& argument : settings.arguments(clip, byHand, *info, std::nullopt, std::nullopt))
        command.push_back(std::move(argument));

    std::vector<Sample> direct, runner, native;
    for (int round = 0; round < rounds; ++round) {
        direct.push_back(measure([&] {
            if (run(command, true) != 0)
                fail("ffmpeg failed");
        }));
        runner.push_back(measure([&] { encodeWith(VideoEncoder(), clip, byRunner, *info, settings); }));
        native.push_back(measure([&] { encodeWith(NativeVideoEngine(), clip, inProcess, *info, settings); }));
        std::fprintf(stderr, "round %d: by hand %.2f s, runner %.2f s, in-process %.2f s\n", round + 1,
                     direct.back().seconds, runner.back().seconds, native.back().seconds);
    }

    Sample directMedian = median(direct), runnerMedian = median(runner), nativeMedian = median(native);
    std::printf("clip: 1920x1080, %d s, 30 fps, with audio; settings: fit 1280x720, H.264 2000k, AAC 96k; "
                "%d rounds, medians\n",
                clipSeconds, rounds);
    std::printf("ffmpeg by hand:       %7.2f s\n", directMedian.seconds);
    std::printf("ffmpeg runner:        %7.2f s  (%+.1f %% wall; our own processor time %.3f s)\n",
                runnerMedian.seconds, (runnerMedian.seconds / directMedian.seconds - 1) * 100,
                runnerMedian.ownProcessorSeconds);
    std::printf("in-process engine:    %7.2f s  (%.2f x the runner; %lld bytes against %lld)\n",
                nativeMedian.seconds, nativeMedian.seconds / runnerMedian.seconds,
                static_cast<long long>(fs::file_size(inProcess)),
                static_cast<long long>(fs::file_size(byRunner)));
    return 0;
}
