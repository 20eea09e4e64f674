// The audio and extract-audio commands: convert audio files, or extract the audio of videos, as the
// audio panel would, or estimate the results.
#include "BatchPrinting.h"
#include "Commands.h"
#include "OptionScanner.h"
#include "common/ByteCount.h"
#include "common/Localization.h"
#include "engines/audio/AudioEngine.h"
#include "engines/audio/AudioSettings.h"
#include "engines/batch/BatchRunner.h"
#include "engines/output/FileNaming.h"

#include <algorithm>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace quillmorph::cli {
namespace {

struct AudioOptions {
    std::optional<AudioFormat> format; // none: the format last chosen
    std::optional<int> bitrate;        // none: the panel's initial bitrate
    bool mono = false;
    bool stripTags = false;
    bool estimate = false;
    OutcomeStyle style = OutcomeStyle::lines;
    std::vector<std::string_view> files;
};

void printUsage(std::string_view command) {
    std::cerr << "usage: quillmorph-cli " << command
              << " [--format mp3|aac|opus|flac|wav|aiff] [--bitrate KBPS] [--mono] [--strip-tags]\n"
                 "       [--estimate] [--json] FILE...\n";
}

// Nothing for a usage error.
std::optional<AudioOptions> parse(Arguments arguments) {
    AudioOptions options;
    auto files = OptionScanner()
                     .flag("--mono", [&] { options.mono = true; })
                     .flag("--strip-tags", [&] { options.stripTags = true; })
                     .flag("--estimate", [&] { options.estimate = true; })
                     .flag("--json", [&] { options.style = OutcomeStyle::json; })
                     .option("--format", storing(options.format, fromString<AudioFormat>))
                     .option("--bitrate", storing(options.bitrate, parsePositive<int>))
                     .scan(arguments);
    if (!files)
        return std::nullopt;
    options.files = std::move(*files);
    return options;
}

// The panel's settings: the last format, changed as its picker would (and then remembered), and
// the bitrate, which must be one the format offers. Nothing, and nothing remembered, for a bitrate
// it does not offer.
std::optional<AudioSettings> chosenSettings(const AudioOptions& options) {
    const AudioSettings initial = AudioSettings::initial();
    AudioSettings settings = options.format ? initial.withFormat(*options.format) : initial;
    if (options.bitrate &&
        std::ranges::find(bitrates(settings.format), *options.bitrate) == bitrates(settings.format).end())
        return std::nullopt;
    if (options.format)
        settings = chooseFormat(initial, *options.format);
    settings.bitrate = options.bitrate.value_or(settings.bitrate);
    settings.mono = options.mono;
    settings.stripTags = options.stripTags;
    return settings;
}

std::string bitrateChoices(AudioFormat format) {
    std::string choices;
    for (int bitrate : bitrates(format))
        choices += (choices.empty() ? "" : ", ") + std::to_string(bitrate);
    return choices;
}

// The panel's estimate line, for each file on its own; a file that cannot be probed fails.
int printEstimates(const BatchRunner::Files& files, const AudioSettings& settings, OutcomeStyle style) {
    nlohmann::json list = nlohmann::json::array();
    bool allEstimated = true;
    for (const auto& file : files) {
        const std::int64_t originalBytes = FileNaming::byteCount(file);
        const auto info = AudioEngine::inspect(file);
        allEstimated = allEstimated && info.has_value();
        if (style == OutcomeStyle::json) {
            list.push_back({
                {"source", file.string()},
                {"originalBytes", originalBytes},
                {"estimatedBytes", info ? nlohmann::json(settings.estimatedBytes(*info)) : nlohmann::json()},
                {"error", info ? nlohmann::json() : nlohmann::json(describe(info.error()))},
            });
        } else if (!info) {
            std::cout << file.string() << ": " << describe(info.error()) << '\n';
        } else {
            const std::int64_t estimatedBytes = settings.estimatedBytes(*info);
            std::cout << file.string() << ": " << formatByteCount(originalBytes) << " \u2192 "
                      << formatByteCount(estimatedBytes) << " (" << estimatedBytes << " bytes)";
            if (isLossless(settings.format))
                std::cout << ", " << losslessText(info->bitDepth);
            std::cout << '\n';
        }
    }
    if (style == OutcomeStyle::json)
        std::cout << list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    return allEstimated ? exitSuccess : exitFailure;
}

int runCommand(std::string_view command, AudioOrigin origin, Arguments arguments) {
    const std::optional<AudioOptions> options = parse(arguments);
    if (!options) {
        printUsage(command);
        return exitUsage;
    }
    const std::optional<AudioSettings> chosen = chosenSettings(*options);
    if (!chosen) {
        const AudioFormat format = options->format.value_or(AudioSettings::initial().format);
        std::cerr << "quillmorph-cli " << command << ": --bitrate for " << toString(format) << " is one of "
                  << bitrateChoices(format) << '\n';
        return exitUsage;
    }
    const BatchRunner::Files files = absoluteFiles(options->files);
    if (options->estimate)
        return printEstimates(files, *chosen, options->style);
    const auto outcomes = BatchRunner::runAudio(files, *chosen, origin, terminalProgress(), {});
    return printOutcomes(outcomes, Localization::string(Phrase::notifyAudiosVerb), Phrase::audioCount,
                         options->style);
}

} // namespace

int audioCommand(Arguments arguments) {
    return runCommand("audio", AudioOrigin::audioFiles, arguments);
}

int extractAudioCommand(Arguments arguments) {
    return runCommand("extract-audio", AudioOrigin::videos, arguments);
}

} // namespace quillmorph::cli
