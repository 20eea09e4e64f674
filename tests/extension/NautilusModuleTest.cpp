#include "extension/NautilusModule.h"

// The header declares the module entry points without C linkage.
extern "C" {
#include <nautilus-extension.h>
}

#include "common/Localization.h"
#include "common/RequestTransport.h"

#include <cstdarg>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <syslog.h>

namespace quillmorph {

// The module shares the host's process: whether it renamed the host's syslog identity, and what it
// logged at which level (exported to the module by the test's link options).
bool renamedHost = false;
std::vector<std::pair<int, std::string>> logged;
extern "C" void openlog(const char*, int, int) {
    renamedHost = true;
}
extern "C" void syslog(int priority, const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    g_autofree char* text = g_strdup_vprintf(format, arguments);
    va_end(arguments);
    logged.emplace_back(priority, text);
}

namespace {

void* moduleHandle = nullptr;
std::vector<std::string> openedURLs;

// What GNOME Files does with an extension module: a GTypeModule whose load opens it and runs
// nautilus_module_initialize; its types stay registered for the process's life.
bool loadModule() {
    const GType loader = g_type_register_static_simple(
        G_TYPE_TYPE_MODULE, "TestModuleLoader", sizeof(GTypeModuleClass),
        [](gpointer loaderClass, gpointer) {
            G_TYPE_MODULE_CLASS(loaderClass)->load = [](GTypeModule* module) -> gboolean {
                moduleHandle = dlopen(QUILLMORPH_NAUTILUS_MODULE, RTLD_NOW | RTLD_LOCAL);
                void* initialize = moduleHandle ? dlsym(moduleHandle, "nautilus_module_initialize") : nullptr;
                if (initialize != nullptr)
                    reinterpret_cast<void (*)(GTypeModule*)>(initialize)(module);
                return initialize != nullptr;
            };
            G_TYPE_MODULE_CLASS(loaderClass)->unload = [](GTypeModule*) {
            };
        },
        sizeof(GTypeModule), nullptr, GTypeFlags{});
    return g_type_module_use(G_TYPE_MODULE(g_object_new(loader, nullptr)));
}

// A file as GNOME Files describes it to extensions: its location and the MIME type the host
// determined, which the test gives or else GIO guesses from the name (the module reads no file).
NautilusFileInfo* newFileInfo(const std::string& location, const std::optional<std::string>& mimeType) {
    static const GType type = [] {
        const GType info = g_type_register_static_simple(G_TYPE_OBJECT, "TestFileInfo", sizeof(GObjectClass),
                                                         nullptr, sizeof(GObject), nullptr, GTypeFlags{});
        static const GInterfaceInfo fileInfo{.interface_init = [](gpointer interface, gpointer) {
            static_cast<NautilusFileInfoInterface*>(interface)->get_location = [](NautilusFileInfo* file) {
                return G_FILE(g_object_ref(g_object_get_data(G_OBJECT(file), "location")));
            };
            static_cast<NautilusFileInfoInterface*>(interface)->get_mime_type = [](NautilusFileInfo* file) {
                return g_strdup(static_cast<const char*>(g_object_get_data(G_OBJECT(file), "type")));
            };
        }};
        g_type_add_interface_static(info, NAUTILUS_TYPE_FILE_INFO, &fileInfo);
        return info;
    }();
    GObject* info = G_OBJECT(g_object_new(type, nullptr));
    g_object_set_data_full(info, "location",
                           location.starts_with("/") ? g_file_new_for_path(location.c_str())
                                                     : g_file_new_for_uri(location.c_str()),
                           g_object_unref);
    g_object_set_data_full(info, "type",
                           mimeType ? g_strdup(mimeType->c_str())
                                    : g_content_type_guess(location.c_str(), nullptr, 0, nullptr),
                           g_free);
    return NAUTILUS_FILE_INFO(info);
}

std::string textProperty(NautilusMenuItem* item, const char* name) {
    g_autofree char* value = nullptr;
    g_object_get(item, name, &value, nullptr);
    return value != nullptr ? value : "";
}

// Each item's label and the request a click on it sends, in menu order.
std::vector<std::pair<std::string, std::optional<QuillmorphRequest>>> clicks(GList* list) {
    std::vector<std::pair<std::string, std::optional<QuillmorphRequest>>> result;
    for (GList* item = list; item != nullptr; item = item->next) {
        openedURLs.clear();
        nautilus_menu_item_activate(NAUTILUS_MENU_ITEM(item->data));
        result.emplace_back(textProperty(NAUTILUS_MENU_ITEM(item->data), "label"),
                            openedURLs.size() == 1 ? RequestTransport::request(openedURLs.front())
                                                   : std::nullopt);
    }
    return result;
}

TEST(NautilusModule, OffersOneItemOrASubmenuInFixedOrder) {
    // The module finds its resources beside itself, as the installed one does.
    unsetenv("QUILLMORPH_RESOURCE_DIR");
    ASSERT_TRUE(loadModule()) << dlerror();
    const GType* types = nullptr;
    int count = 0;
    reinterpret_cast<void (*)(const GType**, int*)>(dlsym(moduleHandle, "nautilus_module_list_types"))(
        &types, &count);
    ASSERT_EQ(count, 1);
    reinterpret_cast<decltype(&quillmorph_extension_set_launcher)>(
        dlsym(moduleHandle, "quillmorph_extension_set_launcher"))([](GList* urls, GError**) -> gboolean {
        for (GList* url = urls; url != nullptr; url = url->next)
            openedURLs.emplace_back(static_cast<const char*>(url->data));
        return TRUE;
    });
    g_autoptr(NautilusMenuProvider) provider = NAUTILUS_MENU_PROVIDER(g_object_new(types[0], nullptr));

    const std::map<ActionKind, Phrase> titles{{ActionKind::image, Phrase::menuImages},
                                              {ActionKind::video, Phrase::menuVideos},
                                              {ActionKind::extractAudio, Phrase::menuExtractAudio},
                                              {ActionKind::audio, Phrase::menuAudios},
                                              {ActionKind::pdf, Phrase::menuPdfs}};
    const std::vector<std::string> mkv{"/media/film.mkv"}, ogx{"/media/clip.ogx"};
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::optional<std::string>>> selection; // type: GIO's if none
        std::vector<QuillmorphRequest> clicks; // in menu order; none: no menu
    } rows[] = {
        {"untyped, by its extension",
         {{mkv.front(), "application/octet-stream"}},
         {{.action = ActionKind::video, .paths = mkv}, {.action = ActionKind::extractAudio, .paths = mkv}}},
        {"text", {{"/media/notes.txt", {}}}, {}},
        // The first class that fits: an audio extension before a movie type.
        {"audio by its extension, typed as a movie",
         {{"/media/track.WMA", "video/mp4"}},
         {{.action = ActionKind::audio, .paths = {"/media/track.WMA"}}}},
        {"an Ogg container",
         {{ogx.front(), "application/ogg"}},
         {{.action = ActionKind::video, .paths = ogx}, {.action = ActionKind::extractAudio, .paths = ogx}}},
        {"remote", {{"sftp://example.org/photo.png", "image/png"}}, {}},
        {"every kind",
         {{"/media/doc.pdf", {}},
          {"/media/photo.png", {}},
          {"/media/tune.ogg", {}},
          {"/media/notes.txt", {}},
          {"/media/clip.mp4", {}},
          {"/media/second.png", {}}},
         {{.action = ActionKind::image, .paths = {"/media/photo.png", "/media/second.png"}},
          {.action = ActionKind::video, .paths = {"/media/clip.mp4"}},
          {.action = ActionKind::extractAudio, .paths = {"/media/clip.mp4"}},
          {.action = ActionKind::audio, .paths = {"/media/tune.ogg"}},
          {.action = ActionKind::pdf, .paths = {"/media/doc.pdf"}}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        GList* infos = nullptr;
        for (const auto& [location, mimeType] : row.selection)
            infos = g_list_append(infos, newFileInfo(location, mimeType));
        g_autolist(NautilusMenuItem) items = nautilus_menu_provider_get_file_items(provider, infos);
        nautilus_file_info_list_free(infos);
        if (row.clicks.empty()) {
            EXPECT_EQ(items, nullptr);
            continue;
        }
        ASSERT_TRUE(items != nullptr && items->next == nullptr);
        const std::filesystem::path icon = textProperty(NAUTILUS_MENU_ITEM(items->data), "icon");
        EXPECT_TRUE(std::filesystem::is_regular_file(icon) && icon.filename() == "MenuIcon.png") << icon;
        g_autoptr(NautilusMenu) menu = nullptr;
        g_object_get(items->data, "menu", &menu, nullptr);
        g_autolist(NautilusMenuItem) submenu = menu ? nautilus_menu_get_items(menu) : nullptr;
        EXPECT_EQ(row.clicks.size() == 1, submenu == nullptr);
        std::vector<std::pair<std::string, std::optional<QuillmorphRequest>>> expected;
        for (const QuillmorphRequest& click : row.clicks)
            expected.emplace_back(
                row.clicks.size() == 1 ? "Quillmorph" : Localization::string(titles.at(click.action)), click);
        EXPECT_EQ(clicks(submenu ? submenu : items), expected);
    }
    EXPECT_NE(Localization::string(Phrase::menuImages), "menu.images")
        << "the language document was not found";
    EXPECT_FALSE(renamedHost);
    EXPECT_FALSE(logged.empty());
    for (const auto& [priority, text] : logged) {
        SCOPED_TRACE(text);
        EXPECT_TRUE(text.starts_with("com.harrowlane.Quillmorph.Finder: ["));
        if (text.find("/media") != std::string::npos || text.find(".png") != std::string::npos)
            EXPECT_EQ(priority, LOG_DEBUG) << "file names stay out of the host's journal";
    }
    g_autoptr(NautilusFileInfo) folder = newFileInfo("/media", std::nullopt);
    EXPECT_EQ(nautilus_menu_provider_get_background_items(provider, folder), nullptr);
}

} // namespace
} // namespace quillmorph
