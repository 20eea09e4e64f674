#include "AudioEngine.h"

#include "AudioProbe.h"
#include "common/UTF8.h"
#include "common/UserDefaults.h"
#include "engines/output/OutputFile.h"
#include "engines/process/ChildProcess.h"
#include "engines/video/FFmpegTool.h"

#include <ranges>
#include <sys/stat.h>

namespace quillmorph::AudioEngine {
namespace {

namespace fs = std::filesystem;

bool toolsSwitchedOff() {
    return UserDefaults::boolean("QuillmorphIgnoreFFmpeg").value_or(false);
}

// Absolute, so that no file name is ever read as an ffmpeg option or protocol ("-x.mp3", "pipe:1").
fs::path fullPath(const fs::path& file) {
    std::error_code error;
    fs::path result = fs::absolute(file, error);
    return error ? file : result;
}

// The last non-empty line ffmpeg wrote to its error output; empty when there is none or the
// output is no valid UTF-8 (the text ends up in notifications, which must carry UTF-8).
std::string lastLine(std::string_view errorOutput) {
    if (!isValidUTF8(errorOutput))
        return {};
    std::string line;
    for (auto piece : errorOutput | std::views::split('\n')) {
        if (!piece.empty())
            line.assign(piece.begin(), piece.end());
    }
    return line;
}

// ffprobe and ffmpeg would wait for ever on a FIFO or a device.
bool isRegularFile(const fs::path& file) {
    std::error_code error;
    return fs::is_regular_file(file, error);
}

// ffmpeg exits 0 after some failures without writing, or leaves an empty file; neither is output.
bool wroteSomething(const fs::path& file) {
    struct stat status {};
    return lstat(file.c_str(), &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0;
}

} // namespace

bool isAvailable() {
    return !toolsSwitchedOff() && FFmpegTool::path(FFmpegTool::ffmpeg).has_value();
}

tl::expected<AudioInfo, AudioEngineError> inspect(const fs::path& file) {
    auto ffprobe = toolsSwitchedOff() ? std::nullopt : FFmpegTool::path(FFmpegTool::ffprobe);
    if (!ffprobe)
        return tl::unexpected(AudioEngineError::needsFFmpeg());
    if (!isRegularFile(file))
        return tl::unexpected(AudioEngineError::unreadable(file));
    // ffprobe's exit status says nothing its report does not.
    return AudioProbe::parse(run(*ffprobe, AudioProbe::arguments(fullPath(file))).output, file);
}

ToolRun run(const fs::path& tool, const std::vector<std::string>& arguments) {
    ToolRun result;
    auto process = ChildProcess::start({
        .program = tool,
        .arguments = arguments,
        .onOutput = [&result](std::string_view bytes) { result.output.append(bytes); },
        .onError = [&result](std::string_view bytes) { result.error.append(bytes); },
    });
    if (!process)
        return {};
    ChildProcess::Exit exit = process->wait();
    result.status = exit.kind == ChildProcess::Exit::Kind::exited ? exit.code : 128 + exit.code;
    return result;
}

tl::expected<fs::path, AudioEngineError> convert(const fs::path& input, const fs::path& destination,
                                                 const AudioSettings& settings, const AudioSource& source) {
    auto ffmpeg = isAvailable() ? FFmpegTool::path(FFmpegTool::ffmpeg) : std::nullopt;
    if (!ffmpeg)
        return tl::unexpected(AudioEngineError::needsFFmpeg());
    if (!isRegularFile(input))
        return tl::unexpected(AudioEngineError::unreadable(input));
    // ffmpeg writes into the file we created, never into one someone planted meanwhile.
    auto output = OutputFile::make(fullPath(destination));
    if (!output)
        return tl::unexpected(AudioEngineError::failed(describeWriteFailure(destination, output.error())));

    ToolRun ffmpegRun = run(*ffmpeg, settings.arguments(fullPath(input), output->temporaryPath(), source));
    if (ffmpegRun.status != 0 || !wroteSomething(output->temporaryPath()))
        return tl::unexpected(AudioEngineError::failed(lastLine(ffmpegRun.error))); // output removes itself

    std::string extension = destination.extension().string();
    auto committed =
        output->commit(outputSuffix, std::string_view(extension).substr(extension.empty() ? 0 : 1));
    if (!committed)
        return tl::unexpected(AudioEngineError::failed(describeWriteFailure(destination, committed.error())));
    return *committed;
}

} // namespace quillmorph::AudioEngine
