#include "FileNaming.h"

#include "UnicodeNumeric.h"

#include <array>
#include <sys/stat.h>

namespace quillmorph::FileNaming {
namespace {

namespace fs = std::filesystem;

// Retina-style scale tags stay at the very end of the name, in this order of preference.
constexpr std::array<std::string_view, 2> scaleTags{"@2x", "@3x"};

// A dangling symbolic link counts as taken, since the rename that follows would not replace it. A
// test that cannot be answered (no search permission) counts as free: the write then reports why.
bool isTaken(const fs::path& candidate) {
    // The system would see only the part before a NUL, which may well exist: the name is free, and
    // the write that follows fails on it.
    if (candidate.native().find('\0') != std::string::npos)
        return false;
    struct stat status {};
    return lstat(candidate.c_str(), &status) == 0;
}

std::string_view scaleTag(std::string_view base) {
    for (std::string_view tag : scaleTags) {
        if (base.ends_with(tag))
            return tag;
    }
    return {};
}

} // namespace

fs::path destination(const fs::path& source, std::string_view suffix, std::string_view extension) {
    const fs::path directory = source.parent_path();
    std::string base = source.filename().stem().string();
    const std::string_view tag = scaleTag(base);
    base.resize(base.size() - tag.size());
    const std::string stem = stripping(suffix, base);

    const auto candidate = [&](std::string_view counter) {
        std::string name = stem;
        name.append(suffix).append(counter).append(tag).append(".").append(extension);
        return directory / name;
    };
    fs::path result = candidate("");
    for (std::uint64_t counter = 1; isTaken(result); ++counter)
        result = candidate("-" + std::to_string(counter));
    return result;
}

std::int64_t byteCount(const fs::path& file) {
    std::error_code error;
    if (!fs::is_regular_file(file, error))
        return 0;
    const std::uintmax_t size = fs::file_size(file, error);
    return error ? 0 : static_cast<std::int64_t>(size);
}

std::string stripping(std::string_view suffix, std::string_view name) {
    if (suffix.empty())
        return std::string(name);
    std::string_view candidate = name;
    if (const std::size_t dash = name.rfind('-');
        dash != std::string_view::npos && UnicodeNumeric::isNumericText(name.substr(dash + 1)))
        candidate = name.substr(0, dash);
    if (!candidate.ends_with(suffix))
        return std::string(name);
    candidate.remove_suffix(suffix.size());
    return std::string(candidate);
}

} // namespace quillmorph::FileNaming
