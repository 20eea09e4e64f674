#include "UserDefaults.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <mutex>
#include <unistd.h>

namespace quillmorph::UserDefaults {
namespace {

std::mutex defaultsMutex;

std::filesystem::path directory() {
    if (const char* overridden = std::getenv("QUILLMORPH_CONFIG_DIR"); overridden && *overridden)
        return overridden;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        return std::filesystem::path(config) / "quillmorph";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home ? home : "/") / ".config" / "quillmorph";
}

// The stored object; a missing, unreadable or corrupt file reads as empty.
nlohmann::json load() {
    std::ifstream stream(file(), std::ios::binary);
    if (!stream)
        return nlohmann::json::object();
    auto stored = nlohmann::json::parse(std::istreambuf_iterator<char>(stream), {}, nullptr, false);
    return stored.is_object() ? stored : nlohmann::json::object();
}

// Written to a temporary file in the same folder and renamed over the old one, so a reader
// never sees half a file.
bool store(const nlohmann::json& defaults) {
    std::error_code error;
    std::filesystem::create_directories(directory(), error);
    if (error)
        return false;
    std::string temporary = (directory() / ".defaults.json.XXXXXX").string();
    int descriptor = mkstemps(temporary.data(), 0);
    if (descriptor < 0)
        return false;
    std::string text = defaults.dump(2) + "\n";
    bool written = ::write(descriptor, text.data(), text.size()) == ssize_t(text.size());
    written = ::fsync(descriptor) == 0 && written;
    written = ::close(descriptor) == 0 && written;
    if (!written || std::rename(temporary.c_str(), file().c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

template <typename Value>
bool set(std::string_view key, const Value& value) {
    std::lock_guard lock(defaultsMutex);
    nlohmann::json defaults = load();
    std::string name(key);
    if (defaults.contains(name) && defaults[name] == value)
        return true;
    defaults[name] = value;
    return store(defaults);
}

} // namespace

std::filesystem::path file() { return directory() / "defaults.json"; }

std::optional<std::string> string(std::string_view key) {
    std::lock_guard lock(defaultsMutex);
    nlohmann::json defaults = load();
    auto found = defaults.find(key);
    if (found == defaults.end() || !found->is_string())
        return std::nullopt;
    return found->get<std::string>();
}

std::optional<bool> boolean(std::string_view key) {
    std::lock_guard lock(defaultsMutex);
    nlohmann::json defaults = load();
    auto found = defaults.find(key);
    if (found == defaults.end() || !found->is_boolean())
        return std::nullopt;
    return found->get<bool>();
}

bool setString(std::string_view key, const std::string& value) { return set(key, value); }

bool setBoolean(std::string_view key, bool value) { return set(key, value); }

} // namespace quillmorph::UserDefaults
