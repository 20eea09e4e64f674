// quillmorph-thunar-install: adds Quillmorph's entries to Thunar's custom actions
// ($XDG_CONFIG_HOME/Thunar/uca.xml), replacing the ones an earlier run added and keeping every
// other action as it stands; a new file starts from the system's. A file it cannot parse is left
// alone (exit 1).
#include "common/Bundle.h"
#include "extension/ThunarActions.h"

#include <cstdio>
#include <filesystem>
#include <glib.h>
#include <glib/gstdio.h>
#include <memory>
#include <optional>
#include <string>

namespace {

using namespace quillmorph;

struct GFreeDeleter {
    void operator()(gpointer memory) const { g_free(memory); }
};
struct GErrorDeleter {
    void operator()(GError* error) const { g_error_free(error); }
};
using OwnedText = std::unique_ptr<char, GFreeDeleter>;
using OwnedError = std::unique_ptr<GError, GErrorDeleter>;

constexpr const char* resourceName = "quillmorph-uca.xml";

int fail(const std::string& message) {
    std::fprintf(stderr, "quillmorph-thunar-install: %s\n", message.c_str());
    return 1;
}

// Nothing, with `problem` set, when the file cannot be read; an empty text when it does not exist.
std::optional<std::string> contents(const std::filesystem::path& file, std::string& problem) {
    gchar* raw = nullptr;
    gsize length = 0;
    GError* rawError = nullptr;
    const bool read = g_file_get_contents(file.c_str(), &raw, &length, &rawError);
    const OwnedText text{raw};
    const OwnedError error{rawError};
    if (read)
        return std::string(text.get(), length);
    if (g_error_matches(error.get(), G_FILE_ERROR, G_FILE_ERROR_NOENT))
        return std::string();
    problem = error->message;
    return std::nullopt;
}

// Thunar's own actions ("Open Terminal Here", …) come from the system's file, which a user file
// hides entirely: a new user file starts from it. Nothing, with `problem` set, when it is unreadable.
std::optional<std::string> systemActions(std::string& problem) {
    for (const char* const* folder = g_get_system_config_dirs(); *folder != nullptr; ++folder) {
        std::optional<std::string> actions =
            contents(std::filesystem::path(*folder) / "Thunar" / "uca.xml", problem);
        if (!actions || !actions->empty())
            return actions;
    }
    return std::string();
}

} // namespace

int main(int argc, char**) {
    if (argc != 1) {
        fail("takes no arguments");
        return 2;
    }
    std::string problem;
    const std::optional<std::filesystem::path> resource = Bundle::resource(resourceName);
    if (!resource)
        return fail(std::string(resourceName) + " is missing from " + Bundle::resourceDirectory().string());
    const std::optional<std::string> ours = contents(*resource, problem);
    if (!ours)
        return fail(problem);

    std::filesystem::path file = std::filesystem::path(g_get_user_config_dir()) / "Thunar" / "uca.xml";
    // A linked file (kept in a dotfiles folder, say) is updated where it lives.
    std::error_code linkError;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(file, linkError))) {
        file = std::filesystem::canonical(file, linkError);
        if (linkError)
            return fail(file.string() + ": " + linkError.message());
    }
    const std::optional<std::string> existing = contents(file, problem);
    if (!existing)
        return fail(problem);
    const std::optional<std::string> base = existing->empty() ? systemActions(problem) : existing;
    if (!base)
        return fail(problem);

    std::optional<std::string> merged = *ours;
    if (!base->empty()) {
        merged = ThunarActions::merge(*base, *ours, problem);
        if (!merged)
            return fail(file.string() +
                        " left unchanged, it could not be read as custom actions: " + problem);
    }

    if (g_mkdir_with_parents(file.parent_path().c_str(), 0700) != 0)
        return fail("could not create " + file.parent_path().string());
    // The replacement keeps the permissions of the file it replaces.
    std::error_code statusError;
    const std::filesystem::file_status status = std::filesystem::status(file, statusError);
    const int mode = existing->empty() || statusError
                         ? 0644
                         : static_cast<int>(status.permissions() & std::filesystem::perms::all);
    GError* rawError = nullptr;
    // Written beside the file and renamed over it, so that Thunar never reads half a document.
    const bool written =
        g_file_set_contents_full(file.c_str(), merged->data(), static_cast<gssize>(merged->size()),
                                 G_FILE_SET_CONTENTS_CONSISTENT, mode, &rawError);
    const OwnedError error{rawError};
    if (!written)
        return fail(error->message);
    std::printf("Quillmorph actions installed in %s; restart Thunar (thunar -q) to see them.\n",
                file.c_str());
    return 0;
}
