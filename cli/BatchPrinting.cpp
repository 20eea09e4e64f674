#include "BatchPrinting.h"

#include "common/ByteCount.h"
#include "engines/batch/BatchReport.h"

#include <algorithm>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <unistd.h>

namespace quillmorph::cli {
namespace {

void printBar(std::size_t done, std::size_t total) {
    constexpr std::size_t barWidth = 30;
    const std::size_t filled = total == 0 ? barWidth : done * barWidth / total;
    std::cerr << "\r[" << std::string(filled, '#') << std::string(barWidth - filled, ' ') << "] " << done
              << '/' << total << std::flush;
    if (done == total)
        std::cerr << "\r\033[K" << std::flush;
}

void printLines(const std::vector<JobOutcome>& outcomes, std::string_view verb, Phrase countPhrase) {
    for (const JobOutcome& outcome : outcomes) {
        if (outcome.succeeded())
            std::cout << outcome.source.string() << " \u2192 " << outcome.output.value_or("").string() << ", "
                      << formatByteCount(outcome.originalBytes) << " \u2192 "
                      << formatByteCount(outcome.outputBytes) << '\n';
        else
            std::cout << outcome.source.string() << ": " << *outcome.error << '\n';
    }
    const BatchSummary summary = BatchReport::summarize(outcomes, verb, countPhrase);
    std::cout << '\n' << summary.title << '\n' << summary.body << '\n';
}

void printJson(const std::vector<JobOutcome>& outcomes) {
    nlohmann::json list = nlohmann::json::array();
    for (const JobOutcome& outcome : outcomes) {
        list.push_back({
            {"source", outcome.source.string()},
            {"output", outcome.output ? nlohmann::json(outcome.output->string()) : nlohmann::json()},
            {"originalBytes", outcome.originalBytes},
            {"outputBytes", outcome.outputBytes},
            {"error", outcome.error ? nlohmann::json(*outcome.error) : nlohmann::json()},
        });
    }
    // File names need not be UTF-8; undecodable bytes become U+FFFD rather than aborting.
    std::cout << list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

} // namespace

std::optional<double> parseQuality(std::string_view text) {
    double quality = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), quality);
    if (error != std::errc{} || end != text.data() + text.size() || !(quality >= 0.05 && quality <= 1.0))
        return std::nullopt;
    return quality;
}

std::optional<FrameSizing> parseBox(std::string_view text, FrameSizing::Kind kind) {
    const std::size_t cross = text.find('x');
    if (cross == std::string_view::npos)
        return std::nullopt;
    const auto width = parsePositive<std::int64_t>(text.substr(0, cross));
    const auto height = parsePositive<std::int64_t>(text.substr(cross + 1));
    if (!width || !height)
        return std::nullopt;
    return FrameSizing{.kind = kind, .width = *width, .height = *height};
}

BatchRunner::Files absoluteFiles(Arguments files) {
    BatchRunner::Files paths;
    for (std::string_view file : files) {
        std::error_code ignored; // an unusable working directory leaves the path as given
        paths.push_back(std::filesystem::absolute(file, ignored).lexically_normal());
    }
    return paths;
}

BatchRunner::Progress terminalProgress() {
    if (!isatty(STDERR_FILENO))
        return {};
    return printBar;
}

int printOutcomes(const std::vector<JobOutcome>& outcomes, std::string_view verb, Phrase countPhrase,
                  OutcomeStyle style) {
    if (style == OutcomeStyle::json)
        printJson(outcomes);
    else
        printLines(outcomes, verb, countPhrase);
    return std::ranges::all_of(outcomes, &JobOutcome::succeeded) ? exitSuccess : exitFailure;
}

} // namespace quillmorph::cli
