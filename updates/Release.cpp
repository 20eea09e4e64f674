#include "Release.h"

#include "WebAddress.h"
#include "common/Localization.h"

#include <nlohmann/json.hpp>

namespace quillmorph {
namespace {

std::optional<std::string> text(const nlohmann::json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string())
        return std::nullopt;
    return found->get<std::string>();
}

// Absent notes are no notes; notes of any other shape make the release unreadable.
std::optional<std::map<std::string, std::string>> notesIn(const nlohmann::json& object) {
    std::map<std::string, std::string> notes;
    const auto found = object.find("notes");
    if (found == object.end())
        return notes;
    if (!found->is_object())
        return std::nullopt;
    for (const auto& [language, note] : found->items()) {
        if (!note.is_string())
            return std::nullopt;
        notes.emplace(language, note.get<std::string>());
    }
    return notes;
}

} // namespace

std::optional<std::string> Release::summary() const {
    for (const std::string& language : {Localization::language(), Localization::fallback()}) {
        if (const auto note = notes.find(language); note != notes.end())
            return note->second;
    }
    return std::nullopt;
}

std::optional<Release> Release::decode(std::string_view json) {
    const auto object = nlohmann::json::parse(json, nullptr, false);
    if (!object.is_object())
        return std::nullopt;
    auto version = text(object, "version");
    auto url = text(object, "url");
    auto releaseNotes = notesIn(object);
    if (!version || !url || !releaseNotes || !isWebAddress(*url))
        return std::nullopt;
    return Release{.version = std::move(*version), .url = std::move(*url), .notes = std::move(*releaseNotes)};
}

} // namespace quillmorph
