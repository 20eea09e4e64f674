// quillmorph-open ACTION PATH…: the menu entry of file managers that run a command (Dolphin,
// Thunar). Classifies the paths as the GNOME Files module does and hands the fitting ones to the
// application. Exit 0 when a request was handed over, 1 when nothing fitted, 2 on a usage error.
#include "common/Bundle.h"
#include "common/Log.h"
#include "extension/ContentType.h"
#include "extension/RequestLaunch.h"
#include "extension/SelectedMedia.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gio/gio.h>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace quillmorph;

constexpr std::string_view category = "open";

struct GObjectDeleter {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct GFreeDeleter {
    void operator()(gpointer memory) const { g_free(memory); }
};
struct GErrorDeleter {
    void operator()(GError* error) const { g_error_free(error); }
};
using OwnedFile = std::unique_ptr<GFile, GObjectDeleter>;
using OwnedInfo = std::unique_ptr<GFileInfo, GObjectDeleter>;
using OwnedText = std::unique_ptr<char, GFreeDeleter>;
using OwnedError = std::unique_ptr<GError, GErrorDeleter>;

std::optional<MenuAction> actionNamed(std::string_view name) {
    for (long rawValue = tag(MenuAction::image);
         const std::optional<MenuAction> action = menuAction(rawValue); ++rawValue) {
        if (toString(actionKind(*action)) == name)
            return action;
    }
    return std::nullopt;
}

// Nothing for a path the application could not take: not local, missing, or a folder. Names that
// are not UTF-8 are kept, so that the hand-over can tell the user about them.
std::optional<SelectedItem> selectedItem(const char* argument) {
    const OwnedFile file{g_file_new_for_commandline_arg(argument)};
    const OwnedText path{g_file_get_path(file.get())};
    if (!path) {
        Log::info(category, "path left out: not a local file");
        return std::nullopt;
    }
    GError* rawError = nullptr;
    const OwnedInfo info{g_file_query_info(
        file.get(), G_FILE_ATTRIBUTE_STANDARD_TYPE "," G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE,
        G_FILE_QUERY_INFO_NONE, nullptr, &rawError)};
    const OwnedError error{rawError};
    if (!info) {
        Log::info(category, std::string("path left out: ") + path.get() + ": " + error->message);
        return std::nullopt;
    }
    if (g_file_info_get_file_type(info.get()) == G_FILE_TYPE_DIRECTORY) {
        Log::info(category, std::string("folder left out: ") + path.get());
        return std::nullopt;
    }
    SelectedItem item{.name = OwnedText{g_path_get_basename(path.get())}.get(), .path = path.get()};
    const char* type = g_file_info_get_content_type(info.get());
    if (type != nullptr && *type != '\0' && !g_content_type_is_unknown(type)) {
        item.contentType = type;
        item.conformsTo = conformance(type);
    }
    return item;
}

gboolean printURL(const char* url, GAppLaunchContext*, GError**) {
    std::printf("%s\n", url);
    return std::fflush(stdout) == 0;
}

} // namespace

int main(int argc, char** argv) {
    Log::setIdentifier(Bundle::extensionIdentifier);
    const std::optional<MenuAction> action = argc >= 2 ? actionNamed(argv[1]) : std::nullopt;
    if (!action) {
        std::fprintf(stderr, "usage: quillmorph-open image|video|pdf|audio|extractAudio PATH…\n");
        return 2;
    }
    std::vector<SelectedItem> selection;
    for (int index = 2; index < argc; ++index) {
        if (std::optional<SelectedItem> item = selectedItem(argv[index]))
            selection.push_back(std::move(*item));
    }
    std::vector<std::string> paths = classify(selection).files(*action);
    if (paths.empty()) {
        Log::info(category, "nothing selected fits " + std::string(argv[1]));
        return 1;
    }
    // QUILLMORPH_OPEN_PRINT=1 prints the URL instead of opening it.
    const char* print = std::getenv("QUILLMORPH_OPEN_PRINT");
    const bool printing = print != nullptr && std::strcmp(print, "1") == 0;
    if (RequestLaunch::open({.action = actionKind(*action), .paths = std::move(paths)},
                            printing ? printURL : g_app_info_launch_default_for_uri))
        return 0;
    std::fprintf(stderr, "quillmorph-open: the request could not be handed over\n");
    return 1;
}
