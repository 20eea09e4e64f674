#pragma once

#include "Language.h"
#include "Phrase.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillmorph::Localization {

using Table = std::map<std::string, std::map<std::string, std::string>, std::less<>>;

// The language document: all three keys are required, or there is no document.
struct Document {
    std::string fallback;
    std::vector<Language> languages;
    Table strings; // phrase key -> language code -> text

    bool operator==(const Document&) const = default;
};

// Named values for a text's {name} placeholders, substituted in this order.
using Arguments = std::vector<std::pair<std::string, std::string>>;

[[nodiscard]] std::optional<Document> decode(std::string_view json);

// Loaded once, thread-safely, from the bundle's "Localizations.json"; a missing or malformed
// document leaves no languages, fallback "en", an empty table, and every phrase showing its key.
[[nodiscard]] const std::optional<Document>& document();
[[nodiscard]] const std::vector<Language>& languages();
[[nodiscard]] const std::set<std::string, std::less<>>& available();
[[nodiscard]] const std::string& fallback();
[[nodiscard]] const Table& table();

// The current language: resolved once from the stored choice and the environment, then replaced
// only by setLanguage (the language settings of the application).
[[nodiscard]] std::string language();
void setLanguage(std::string code);

// The phrase's text in the current language, else the fallback language, else its key; then
// every occurrence of each "{name}" replaced. Unknown placeholders stay as they are.
[[nodiscard]] std::string string(Phrase phrase, const Arguments& arguments = {});

// The same lookup over an explicit table, for callers that hold their own document.
[[nodiscard]] std::string string(const Table& table, std::string_view language, std::string_view fallback,
                                 Phrase phrase, const Arguments& arguments = {});

// The first candidate (override, then preferred, then system) whose language code is available,
// else the fallback.
[[nodiscard]] std::string resolve(const std::optional<std::string>& override,
                                  const std::vector<std::string>& preferred, const std::vector<std::string>& system,
                                  const std::set<std::string, std::less<>>& available, const std::string& fallback);

// The language code of a locale identifier, lower-cased: "pt_BR.UTF-8" and "pt-PT" give "pt",
// "zh-Hans-CN" gives "zh"; nothing for "C", "POSIX" or a candidate without a language code.
[[nodiscard]] std::optional<std::string> languageCode(std::string_view localeIdentifier);

// The user's preferred languages as Linux programs read them: LANGUAGE's colon list.
[[nodiscard]] std::vector<std::string> preferredLanguages();
// The locale the system runs in: the first of LC_ALL, LC_MESSAGES and LANG that is set.
[[nodiscard]] std::vector<std::string> systemLanguages();

} // namespace quillmorph::Localization
