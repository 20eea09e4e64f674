#include "BatchRunner.h"
#include "engines/audio/AudioEngine.h"
#include "engines/output/FileNaming.h"

namespace quillmorph::BatchRunner {

JobOutcome processAudio(const std::filesystem::path& file, const AudioSettings& settings,
                        AudioOrigin origin) {
    JobOutcome outcome{.source = file, .originalBytes = FileNaming::byteCount(file)};
    const auto destination =
        FileNaming::destination(file, AudioEngine::outputSuffix, fileExtension(settings.format));
    auto converted = AudioEngine::inspect(file).and_then([&](const AudioInfo& info) {
        const AudioSource source{.fromVideo = origin == AudioOrigin::videos, .bitDepth = info.bitDepth};
        return AudioEngine::convert(file, destination, settings, source);
    });
    if (!converted) {
        outcome.error = describe(converted.error());
        return outcome;
    }
    outcome.outputBytes = FileNaming::byteCount(*converted);
    outcome.output = std::move(*converted);
    return outcome;
}

std::vector<JobOutcome> runAudio(const Files& files, const AudioSettings& settings, AudioOrigin origin,
                                 const Progress& progress, const Executor& executor) {
    return runParallel(
        files, [&](const std::filesystem::path& file) { return processAudio(file, settings, origin); },
        progress, executor);
}

} // namespace quillmorph::BatchRunner
