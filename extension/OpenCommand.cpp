// quillmorph-open ACTION PATH…: the menu entry of file managers that run a command (Dolphin,
// Thunar). Classifies the paths as the GNOME Files module does and hands the fitting ones to the
// application; "all" hands each kind to its own panel. Exit 0 when a request was handed over, 1
// when nothing fitted, 2 on a usage error.
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

// The actions a name on the command line stands for: one, or every kind for "all".
std::vector<MenuAction> actionsNamed(std::string_view name) {
    if (name == "all")
        return {MenuAction::image, MenuAction::video, MenuAction::audio, MenuAction::pdf};
    for (long rawValue = tag(MenuAction::image);
         const std::optional<MenuAction> action = menuAction(rawValue); ++rawValue) {
        if (toString(actionKind(*action)) == name)
            return {*action};
    }
    return {};
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

gboolean printURLs(GList* urls, GError**) {
    for (GList* url = urls; url != nullptr; url = url->next)
        std::printf("%s\n", static_cast<const char*>(url->data));
    return std::fflush(stdout) == 0;
}

} // namespace

int main(int argc, char** argv) {
    Log::setIdentifier(Bundle::extensionIdentifier);
    const std::vector<MenuAction> actions = argc >= 2 ? actionsNamed(argv[1]) : std::vector<MenuAction>();
    if (actions.empty()) {
        std::fprintf(stderr, "usage: quillmorph-open image|video|pdf|audio|extractAudio|all PATH…\n");
        return 2;
    }
    std::vector<SelectedItem> selection;
    for (int index = 2; index < argc; ++index) {
        if (std::optional<SelectedItem> item = selectedItem(argv[index]))
            selection.push_back(std::move(*item));
    }
    const SelectedMedia media = classify(selection);
    std::vector<QuillmorphRequest> requests;
    for (const MenuAction action : actions) {
        if (!media.files(action).empty())
            requests.push_back({.action = actionKind(action), .paths = media.files(action)});
    }
    if (requests.empty()) {
        Log::info(category, "nothing selected fits " + std::string(argv[1]));
        return 1;
    }
    // QUILLMORPH_OPEN_PRINT=1 prints the URLs instead of opening them.
    const char* print = std::getenv("QUILLMORPH_OPEN_PRINT");
    const bool printing = print != nullptr && std::strcmp(print, "1") == 0;
    if (RequestLaunch::open(std::move(requests), printing ? printURLs : RequestLaunch::launchDefault))
        return 0;
    std::fprintf(stderr, "quillmorph-open: the request could not be handed over\n");
    return 1;
}
