#include "Localization.h"

#include "Bundle.h"
#include "UserDefaults.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>

namespace quillmorph::Localization {
namespace {

// Everything derived from the document, built once.
struct Loaded {
    std::optional<Document> document;
    std::vector<Language> languages;
    std::set<std::string, std::less<>> available;
    std::string fallback = "en";
    Table table;
};

const Loaded& loaded() {
    static const Loaded value = [] {
        Loaded result;
        if (auto file = Bundle::resource("Localizations.json")) {
            std::ifstream stream(*file, std::ios::binary);
            std::string text{std::istreambuf_iterator<char>(stream), {}};
            result.document = decode(text);
        }
        if (result.document) {
            result.languages = result.document->languages;
            for (const auto& entry : result.languages)
                result.available.insert(entry.code);
            result.fallback = result.document->fallback;
            result.table = result.document->strings;
        }
        return result;
    }();
    return value;
}

std::mutex languageMutex;

std::string& currentLanguage() {
    static std::string language =
        resolve(UserDefaults::string("QuillmorphLanguage"), preferredLanguages(), systemLanguages(), available(),
                fallback());
    return language;
}

std::string substitute(std::string text, const Arguments& arguments) {
    for (const auto& [name, value] : arguments) {
        std::string placeholder = "{" + name + "}";
        std::string replaced;
        std::size_t start = 0;
        for (std::size_t found; (found = text.find(placeholder, start)) != std::string::npos;
             start = found + placeholder.size()) {
            replaced.append(text, start, found - start);
            replaced += value;
        }
        replaced.append(text, start);
        text = std::move(replaced);
    }
    return text;
}

bool isAlpha(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

} // namespace

std::optional<Document> decode(std::string_view json) {
    auto parsed = nlohmann::json::parse(json, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object())
        return std::nullopt;
    try {
        const auto& languages = parsed.at("languages");
        const auto& strings = parsed.at("strings");
        if (!languages.is_array() || !strings.is_object())
            return std::nullopt;
        Document document{.fallback = parsed.at("fallback").get<std::string>()};
        for (const auto& entry : languages) {
            document.languages.push_back({.code = entry.at("code").get<std::string>(),
                                          .name = entry.at("name").get<std::string>(),
                                          .flag = entry.at("flag").get<std::string>()});
        }
        for (const auto& [key, texts] : strings.items()) {
            if (!texts.is_object())
                return std::nullopt;
            auto& row = document.strings[key];
            for (const auto& [code, text] : texts.items())
                row[code] = text.get<std::string>();
        }
        return document;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt; // a missing or mistyped key
    }
}

const std::optional<Document>& document() { return loaded().document; }
const std::vector<Language>& languages() { return loaded().languages; }
const std::set<std::string, std::less<>>& available() { return loaded().available; }
const std::string& fallback() { return loaded().fallback; }
const Table& table() { return loaded().table; }

std::string language() {
    std::lock_guard lock(languageMutex);
    return currentLanguage();
}

void setLanguage(std::string code) {
    std::lock_guard lock(languageMutex);
    currentLanguage() = std::move(code);
}

std::string string(Phrase phrase, const Arguments& arguments) {
    return string(table(), language(), fallback(), phrase, arguments);
}

std::string string(const Table& table, std::string_view language, std::string_view fallback, Phrase phrase,
                   const Arguments& arguments) {
    std::string_view key = toString(phrase);
    std::string text(key);
    if (auto row = table.find(key); row != table.end()) {
        if (auto found = row->second.find(std::string(language)); found != row->second.end())
            text = found->second;
        else if (auto fallen = row->second.find(std::string(fallback)); fallen != row->second.end())
            text = fallen->second;
    }
    return substitute(std::move(text), arguments);
}

std::string resolve(const std::optional<std::string>& override, const std::vector<std::string>& preferred,
                    const std::vector<std::string>& system, const std::set<std::string, std::less<>>& available,
                    const std::string& fallback) {
    std::vector<std::string> candidates;
    if (override)
        candidates.push_back(*override);
    candidates.insert(candidates.end(), preferred.begin(), preferred.end());
    candidates.insert(candidates.end(), system.begin(), system.end());
    for (const auto& candidate : candidates) {
        if (auto code = languageCode(candidate); code && available.contains(*code))
            return *code;
    }
    return fallback;
}

std::optional<std::string> languageCode(std::string_view identifier) {
    // "ll[_-]Region[.charset][@modifier]" (POSIX) or "ll-Script-Region" (BCP 47).
    identifier = identifier.substr(0, identifier.find_first_of(".@"));
    if (identifier == "C" || identifier == "POSIX")
        return std::nullopt;
    std::string_view first = identifier.substr(0, identifier.find_first_of("-_"));
    if (first.size() < 2 || first.size() > 8 || !std::ranges::all_of(first, isAlpha))
        return std::nullopt;
    std::string code(first);
    std::ranges::transform(code, code.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return code;
}

std::vector<std::string> preferredLanguages() {
    std::vector<std::string> result;
    const char* list = std::getenv("LANGUAGE");
    std::string_view text = list ? list : "";
    while (!text.empty()) {
        auto colon = text.find(':');
        if (auto entry = text.substr(0, colon); !entry.empty())
            result.emplace_back(entry);
        text = colon == std::string_view::npos ? std::string_view{} : text.substr(colon + 1);
    }
    return result;
}

std::vector<std::string> systemLanguages() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* value = std::getenv(variable); value && *value)
            return {value};
    }
    return {};
}

} // namespace quillmorph::Localization
