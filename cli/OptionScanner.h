#pragma once

#include "Commands.h"

#include <functional>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace quillmorph::cli {

// A command's options and FILE arguments, in any order: "--" ends the options, "-" is a file.
class OptionScanner {
  public:
    // Takes the value that follows the option; false when the value is refused.
    using Take = std::function<bool(std::string_view value)>;

    OptionScanner& flag(std::string_view name, std::function<void()> set);
    OptionScanner& option(std::string_view name, Take take);

    // The files, or nothing for a usage error: an unknown option, a missing or refused value, or
    // no file at all.
    [[nodiscard]] std::optional<std::vector<std::string_view>> scan(Arguments arguments) const;

  private:
    struct Entry {
        std::string_view name;
        std::function<void()> set; // flags
        Take take;                 // options with a value
    };

    std::vector<Entry> m_entries;
};

// A Take that parses the value with `parse` (giving an optional) and stores it in `target`.
template <typename Target, typename Parse>
[[nodiscard]] OptionScanner::Take storing(Target& target, Parse parse) {
    return [&target, parse](std::string_view text) {
        auto parsed = parse(text);
        if (!parsed)
            return false;
        target = std::move(*parsed);
        return true;
    };
}

} // namespace quillmorph::cli
