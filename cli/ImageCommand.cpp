// The image command: convert or compress images as the image panel would, or estimate the result.
#include "BatchPrinting.h"
#include "Commands.h"
#include "OptionScanner.h"
#include "common/ByteCount.h"
#include "common/Localization.h"
#include "engines/batch/BatchRunner.h"
#include "engines/image/ImageEngine.h"
#include "engines/image/ImageEstimate.h"
#include "engines/image/ImageSettings.h"
#include "engines/output/FileNaming.h"

#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace quillmorph::cli {
namespace {

constexpr std::string_view usage =
    "usage: quillmorph-cli image [--format jpg|png|webp|avif] [--quality 0.05-1] [--fit WxH | --exact WxH]\n"
    "                            [--estimate] [--json] FILE...\n";

struct ImageOptions {
    std::optional<ImageFormat> format; // none: the first file's default
    double quality = 0.75;
    FrameSizing sizing = FrameSizing::untouched();
    bool estimate = false;
    OutcomeStyle style = OutcomeStyle::lines;
    std::vector<std::string_view> files;
};

// Nothing for a usage error.
std::optional<ImageOptions> parse(Arguments arguments) {
    ImageOptions options;
    bool sized = false;
    const auto box = [&](FrameSizing::Kind kind) {
        return [&, kind](std::string_view value) {
            sized = !sized && storing(options.sizing,
                                      [kind](std::string_view text) { return parseBox(text, kind); })(value);
            return sized;
        };
    };
    auto files = OptionScanner()
                     .flag("--estimate", [&] { options.estimate = true; })
                     .flag("--json", [&] { options.style = OutcomeStyle::json; })
                     .option("--format", storing(options.format, fromString<ImageFormat>))
                     .option("--quality", storing(options.quality, parseQuality))
                     .option("--fit", box(FrameSizing::Kind::fit))
                     .option("--exact", box(FrameSizing::Kind::exact))
                     .scan(arguments);
    if (!files)
        return std::nullopt;
    options.files = std::move(*files);
    return options;
}

// The image panel's estimate: the first file's encoded sample scaled to the whole selection.
int printEstimate(const BatchRunner::Files& files, const ImageSettings& settings, OutcomeStyle style) {
    auto sample = ImageEngine::loadNormalized(files.front());
    if (!sample) {
        std::cerr << "quillmorph-cli image: " << describe(sample.error()) << '\n';
        return exitFailure;
    }
    std::optional<double> ratio;
    if (const auto sampleBytes = ImageEstimate::sampleBytes(*sample, settings))
        ratio = ImageEstimate::estimatedRatio(*sampleBytes, FileNaming::byteCount(files.front()));
    if (!ratio) {
        std::cerr << "quillmorph-cli image: no estimate for " << toString(settings.format) << '\n';
        return exitFailure;
    }
    std::int64_t originalBytes = 0;
    for (const auto& file : files)
        originalBytes += FileNaming::byteCount(file);
    const std::int64_t estimatedBytes = *ImageEstimate::estimatedBytes(ratio, originalBytes);
    if (style == OutcomeStyle::json)
        std::cout
            << nlohmann::json{{"originalBytes", originalBytes}, {"estimatedBytes", estimatedBytes}}.dump(2)
            << '\n';
    else
        std::cout << formatByteCount(originalBytes) << " \u2192 " << formatByteCount(estimatedBytes) << " ("
                  << estimatedBytes << " bytes)\n";
    return exitSuccess;
}

} // namespace

int imageCommand(Arguments arguments) {
    const std::optional<ImageOptions> options = parse(arguments);
    if (!options) {
        std::cerr << usage;
        return exitUsage;
    }
    const BatchRunner::Files files = absoluteFiles(options->files);
    const ImageSettings settings{.format =
                                     options->format.value_or(ImageSettings::defaultFormat(files.front())),
                                 .sizing = options->sizing,
                                 .quality = options->quality};
    if (options->estimate)
        return printEstimate(files, settings, options->style);
    const auto outcomes = BatchRunner::run(files, settings, terminalProgress(), {});
    return printOutcomes(outcomes, Localization::string(Phrase::notifyImagesVerb), Phrase::notifyImagesCount,
                         options->style);
}

} // namespace quillmorph::cli
