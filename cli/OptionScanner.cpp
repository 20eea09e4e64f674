#include "OptionScanner.h"

#include <algorithm>

namespace quillmorph::cli {

OptionScanner& OptionScanner::flag(std::string_view name, std::function<void()> set) {
    m_entries.push_back({.name = name, .set = std::move(set)});
    return *this;
}

OptionScanner& OptionScanner::option(std::string_view name, Take take) {
    m_entries.push_back({.name = name, .take = std::move(take)});
    return *this;
}

std::optional<std::vector<std::string_view>> OptionScanner::scan(Arguments arguments) const {
    std::vector<std::string_view> files;
    bool optionsEnded = false;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const std::string_view argument = arguments[index];
        if (optionsEnded || !argument.starts_with("-") || argument == "-") {
            files.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        const auto entry = std::ranges::find(m_entries, argument, &Entry::name);
        if (entry == m_entries.end())
            return std::nullopt;
        if (entry->set) {
            entry->set();
        } else if (index + 1 == arguments.size() || !entry->take(arguments[++index])) {
            return std::nullopt;
        }
    }
    if (files.empty())
        return std::nullopt;
    return files;
}

} // namespace quillmorph::cli
