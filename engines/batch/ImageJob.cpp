#include "BatchRunner.h"
#include "engines/image/ImageEngine.h"
#include "engines/image/ImageSettings.h"
#include "engines/output/FileNaming.h"
#include "engines/output/OutputFile.h"

namespace quillmorph::BatchRunner {

JobOutcome process(const std::filesystem::path& file, const ImageSettings& settings) {
    JobOutcome outcome{.source = file, .originalBytes = FileNaming::byteCount(file)};
    // Loaded at the requested geometry already: a second resize would size the result, not the source.
    auto encoded = ImageEngine::loadNormalized(file, settings.sizing).and_then([&](const Bitmap& image) {
        return ImageEngine::encode(image, settings.format, settings.quality);
    });
    if (!encoded) {
        outcome.error = describe(encoded.error());
        return outcome;
    }
    auto written = writeBeside(file, "-converted", toString(settings.format), *encoded);
    if (!written) {
        outcome.error = std::move(written.error());
        return outcome;
    }
    outcome.output = std::move(*written);
    outcome.outputBytes = static_cast<std::int64_t>(encoded->size());
    return outcome;
}

std::vector<JobOutcome> run(const Files& files, const ImageSettings& settings, const Progress& progress,
                            const Executor& executor) {
    return runParallel(
        files, [&](const std::filesystem::path& file) { return process(file, settings); }, progress,
        executor);
}

} // namespace quillmorph::BatchRunner
