#include "BatchReport.h"

#include "common/ByteCount.h"
#include "common/Localization.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace quillmorph::BatchReport {
namespace {

// Σ of `bytes` over the successes; nothing when the sum does not fit 64 bits.
template <typename Member>
std::optional<std::int64_t> checkedSum(const std::vector<const JobOutcome*>& successes, Member bytes) {
    std::int64_t sum = 0;
    for (const JobOutcome* outcome : successes) {
        if (__builtin_add_overflow(sum, outcome->*bytes, &sum))
            return std::nullopt;
    }
    return sum;
}

std::string countText(const std::vector<const JobOutcome*>& successes, Phrase countPhrase) {
    if (successes.size() != 1)
        return Localization::string(countPhrase, {{"n", std::to_string(successes.size())}});
    const auto& output = successes.front()->output;
    return output ? output->filename().string() : std::string();
}

// "−75%": the saving in whole percent, halves rounded away from zero; nothing unless positive.
std::optional<std::string> savingText(std::optional<std::int64_t> totalIn,
                                      std::optional<std::int64_t> totalOut) {
    std::int64_t saved = 0;
    if (!totalIn || !totalOut || *totalIn <= 0 || __builtin_sub_overflow(*totalIn, *totalOut, &saved) ||
        saved < 1)
        return std::nullopt;
    const double percent = std::round(double(saved) / double(*totalIn) * 100.0);
    return "\u2212" + std::to_string(std::llround(percent)) + "%";
}

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : "  \u00B7  ") + part;
    return text;
}

} // namespace

BatchSummary summarize(const std::vector<JobOutcome>& outcomes, std::string_view verb, Phrase countPhrase) {
    std::vector<const JobOutcome*> successes;
    std::vector<const JobOutcome*> failures;
    for (const JobOutcome& outcome : outcomes)
        (outcome.succeeded() ? successes : failures).push_back(&outcome);

    if (successes.empty()) {
        return {.title = Localization::string(Phrase::notifyFailedTitle),
                .body = failures.empty() ? Localization::string(Phrase::notifyNothingDone)
                                         : *failures.front()->error};
    }

    const std::optional<std::int64_t> totalIn = checkedSum(successes, &JobOutcome::originalBytes);
    const std::optional<std::int64_t> totalOut = checkedSum(successes, &JobOutcome::outputBytes);
    constexpr std::int64_t largest = std::numeric_limits<std::int64_t>::max();
    std::vector<std::string> parts{formatByteCount(totalIn.value_or(largest)) + " \u2192 " +
                                   formatByteCount(totalOut.value_or(largest))};
    if (std::optional<std::string> saving = savingText(totalIn, totalOut))
        parts.push_back(std::move(*saving));
    if (!failures.empty())
        parts.push_back(
            Localization::string(Phrase::notifyFailuresCount, {{"n", std::to_string(failures.size())}}));

    return {.title = std::string(verb) + ": " + countText(successes, countPhrase), .body = joined(parts)};
}

} // namespace quillmorph::BatchReport
