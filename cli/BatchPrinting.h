#pragma once

#include "Commands.h"
#include "common/Phrase.h"
#include "engines/image/FrameSizing.h"
#include "engines/batch/BatchRunner.h"
#include "engines/batch/JobOutcome.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>
#include <vector>

// What the batch commands (image, pdf, audio, video) share: their files, progress and results.
namespace quillmorph::cli {

enum class OutcomeStyle { lines, json };

// A --quality value: a decimal number from 0.05 to 1; nothing for anything else.
[[nodiscard]] std::optional<double> parseQuality(std::string_view text);

// A whole decimal text that is a positive, finite number; nothing for anything else.
template <typename Number>
[[nodiscard]] std::optional<Number> parsePositive(std::string_view text) {
    Number value{};
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || !(value > 0) || !std::isfinite(double(value)))
        return std::nullopt;
    return value;
}

// "1920x1080" as a fit or exact box.
[[nodiscard]] std::optional<FrameSizing> parseBox(std::string_view text, FrameSizing::Kind kind);

// The FILE arguments as absolute, normalised paths.
[[nodiscard]] BatchRunner::Files absoluteFiles(Arguments files);

// A bar redrawn on stderr after each file while stderr is a terminal (and erased at the end);
// an empty callback otherwise, so that redirected output stays clean.
[[nodiscard]] BatchRunner::Progress terminalProgress();

// Prints the outcomes on stdout: per file "source → output, bytes before → after" or
// "source: error", then the batch summary's title and body; or, as JSON, an array of
// {source, output, originalBytes, outputBytes, error} (null for what is absent). Returns
// exitSuccess when every file succeeded, exitFailure otherwise.
int printOutcomes(const std::vector<JobOutcome>& outcomes, std::string_view verb, Phrase countPhrase,
                  OutcomeStyle style);

} // namespace quillmorph::cli
