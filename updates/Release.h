#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace quillmorph {

// One release as the feed describes it: {"version": "1.4.2", "url": "https://…", "notes": {"en": "…"}}.
struct Release {
    std::string version;                      // dotted numbers
    std::string url;                          // the release's download page, always http or https
    std::map<std::string, std::string> notes; // language code -> release notes

    // The notes in the current language, else in the fallback language, else nothing.
    [[nodiscard]] std::optional<std::string> summary() const;

    // The feed's JSON object. Nothing when it is not JSON, lacks a text "version" or "url", has
    // "notes" that are not an object of texts, or names a download page that is not a web address
    // (a feed must not make the browser open a local file or run a script). Other keys are ignored.
    [[nodiscard]] static std::optional<Release> decode(std::string_view json);

    bool operator==(const Release&) const = default;
};

} // namespace quillmorph
