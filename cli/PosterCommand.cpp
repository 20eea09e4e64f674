// The poster command: save the frame of each video at a time as a PNG beside it, as the video
// panel's poster row does.
#include "BatchPrinting.h"
#include "Commands.h"
#include "OptionScanner.h"
#include "engines/video/PosterFrame.h"
#include "engines/video/VideoEngines.h"

#include <iostream>
#include <optional>
#include <string>
#include <utility>

namespace quillmorph::cli {
namespace {

constexpr std::string_view usage = "usage: quillmorph-cli poster --at TIME FILE...\n"
                                   "       TIME is seconds, m:s or h:m:s (1:05, 65 and 0:1:5 are the same)\n";

struct PosterOptions {
    std::string_view time;
    std::vector<std::string_view> files;
};

std::optional<PosterOptions> parse(Arguments arguments) {
    PosterOptions options;
    bool timed = false;
    auto files = OptionScanner()
                     .option("--at",
                             [&](std::string_view value) {
                                 options.time = value;
                                 return !std::exchange(timed, true);
                             })
                     .scan(arguments);
    if (!files || !timed)
        return std::nullopt;
    options.files = std::move(*files);
    return options;
}

} // namespace

int posterCommand(Arguments arguments) {
    const std::optional<PosterOptions> options = parse(arguments);
    if (!options) {
        std::cerr << usage;
        return exitUsage;
    }
    const std::optional<double> seconds = PosterFrame::parseTime(options->time);
    if (!seconds) {
        std::cerr << describe(PosterError::invalidTime()) << '\n';
        return exitFailure;
    }
    const BatchRunner::Files files = absoluteFiles(options->files);
    // A single video's time is checked against its duration, as the panel checks it against the
    // probe it opened with.
    double duration = 0;
    if (files.size() == 1) {
        auto info = VideoEngines::probe(files.front());
        if (!info) {
            std::cerr << describe(info.error()) << '\n';
            return exitFailure;
        }
        duration = info->duration;
    }
    const auto made = PosterFrame::make(files, *seconds, duration);
    if (made) {
        for (const auto& poster : *made)
            std::cout << poster.string() << '\n';
    }
    const PosterFrame::Status status = PosterFrame::status(made);
    (status.isError ? std::cerr : std::cout) << status.text << '\n';
    return status.isError ? exitFailure : exitSuccess;
}

} // namespace quillmorph::cli
