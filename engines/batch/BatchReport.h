#pragma once

#include "JobOutcome.h"
#include "common/Phrase.h"

#include <string>
#include <string_view>
#include <vector>

namespace quillmorph {

// The texts of the notification that ends a batch.
struct BatchSummary {
    std::string title;
    std::string body;

    bool operator==(const BatchSummary&) const = default;
};

namespace BatchReport {

// With successes: title "<verb>: " + the one output's file name, or `countPhrase` with n = the
// number of successes; body "<bytes in> → <bytes out>", then "−P%" when something was saved, then
// "notify.failuresCount" when files failed, joined by "  ·  ". Without successes: title
// "notify.failedTitle" and the first failure's text, or "notify.nothingDone" for no outcomes.
// Byte sums saturate at the largest 64-bit count and then show no percentage.
[[nodiscard]] BatchSummary summarize(const std::vector<JobOutcome>& outcomes, std::string_view verb,
                                     Phrase countPhrase);

} // namespace BatchReport
} // namespace quillmorph
