#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace quillmorph {

// What became of one input file of a batch.
struct JobOutcome {
    std::filesystem::path source;
    std::optional<std::filesystem::path> output{}; // none when the job failed
    std::int64_t originalBytes = 0;                // 0 when the source cannot be read
    std::int64_t outputBytes = 0;                  // 0 when the job failed
    std::optional<std::string> error{};            // the failure's text, in the current language

    [[nodiscard]] bool succeeded() const { return !error.has_value(); }
    bool operator==(const JobOutcome&) const = default;
};

} // namespace quillmorph
