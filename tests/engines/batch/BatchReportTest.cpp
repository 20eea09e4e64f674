#include "engines/batch/BatchReport.h"

#include "common/Localization.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>

namespace quillmorph {
namespace {

JobOutcome success(const std::string& name, std::int64_t before, std::int64_t after) {
    return {.source = "/photos/" + name + ".jpg",
            .output = "/photos/" + name + "-converted.webp",
            .originalBytes = before,
            .outputBytes = after};
}

JobOutcome failure(const std::string& name, std::int64_t before, std::string error) {
    return {.source = "/photos/" + name + ".jpg", .originalBytes = before, .error = std::move(error)};
}

TEST(BatchReport, SummarisesTheBatch) {
    Localization::setLanguage("en");
    constexpr std::int64_t largest = std::numeric_limits<std::int64_t>::max();
    struct Row {
        std::string name;
        std::vector<JobOutcome> outcomes;
        BatchSummary expected;
        std::string verb = "Converted";
        Phrase countPhrase = Phrase::notifyImagesCount;
    };
    const std::vector<Row> rows = {
        {"one file shrinking by three quarters",
         {success("photo", 2'000'000, 500'000)},
         {"Converted: photo-converted.webp", "2 MB \u2192 500 KB  \u00B7  \u221275%"}},
        {"output larger than input",
         {success("photo", 500'000, 2'000'000)},
         {"Converted: photo-converted.webp", "500 KB \u2192 2 MB"}},
        {"half a percent rounds away from zero",
         {success("a", 1000, 995)},
         {"Converted: a-converted.webp", "1 KB \u2192 995 bytes  \u00B7  \u22121%"}},
        {"three files, one failing",
         {success("a", 3'000'000, 1'000'000), failure("b", 700, "Could not read “b.jpg” as an image."),
          success("c", 1'000'000, 1'000'000)},
         {"Converted: 2 files", "4 MB \u2192 2 MB  \u00B7  \u221250%  \u00B7  1 failed"}},
        {"a success without an output keeps the title's colon",
         {{.source = "/photos/a.jpg", .originalBytes = 10, .outputBytes = 10}},
         {"Converted: ", "10 bytes \u2192 10 bytes"}},
        {"all failing",
         {failure("a", 10, "first error"), failure("b", 20, "second error")},
         {"Processing failed", "first error"}},
        {"empty", {}, {"Processing failed", "No files were processed."}},
        {"the given verb and count phrase",
         {success("a", 100, 50), success("b", 100, 50), success("c", 100, 50)},
         {"Extracted: 3 audio files", "300 bytes \u2192 150 bytes  \u00B7  \u221250%"},
         "Extracted",
         Phrase::audioCount},
        {"sums beyond 64 bits saturate and show no percentage",
         {success("a", largest, 1), success("b", largest, 1)},
         {"Converted: 2 files", "9223.37 PB \u2192 2 bytes"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(BatchReport::summarize(row.outcomes, row.verb, row.countPhrase), row.expected);
    }
}

} // namespace
} // namespace quillmorph
