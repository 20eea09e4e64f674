#include "extension/NautilusModule.h"

// The header declares the module entry points without C linkage.
extern "C" {
#include <nautilus-extension.h>
}

#include "common/Localization.h"
#include "common/RequestTransport.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <syslog.h>

namespace quillmorph {
namespace {

using testing::TemporaryDirectory;

// What GNOME Files does with an extension module: a GTypeModule whose load opens it and runs
// nautilus_module_initialize; its types stay registered for the process's life.
struct ModuleLoader {
    GTypeModule parent;
};
struct ModuleLoaderClass {
    GTypeModuleClass parent;
};
G_DEFINE_TYPE(ModuleLoader, module_loader, G_TYPE_TYPE_MODULE)

void* moduleHandle = nullptr;

void module_loader_init(ModuleLoader*) {}
void module_loader_class_init(ModuleLoaderClass* loaderClass) {
    G_TYPE_MODULE_CLASS(loaderClass)->load = [](GTypeModule* module) -> gboolean {
        moduleHandle = dlopen(QUILLMORPH_NAUTILUS_MODULE, RTLD_NOW | RTLD_LOCAL);
        void* initialize = moduleHandle ? dlsym(moduleHandle, "nautilus_module_initialize") : nullptr;
        if (initialize != nullptr)
            reinterpret_cast<void (*)(GTypeModule*)>(initialize)(module);
        return initialize != nullptr;
    };
    G_TYPE_MODULE_CLASS(loaderClass)->unload = [](GTypeModule*) {
    };
}

// A file as GNOME Files describes it to extensions: its location and the MIME type the host
// determined, which is GIO's content type of the file unless the test says otherwise.
struct TestFileInfo {
    GObject parent;
};
struct TestFileInfoClass {
    GObjectClass parent;
};
void fileInfoInterfaceInit(NautilusFileInfoInterface* interface) {
    interface->get_location = [](NautilusFileInfo* info) {
        return G_FILE(g_object_ref(g_object_get_data(G_OBJECT(info), "location")));
    };
    interface->get_mime_type = [](NautilusFileInfo* info) {
        return g_strdup(static_cast<const char*>(g_object_get_data(G_OBJECT(info), "type")));
    };
}
G_DEFINE_TYPE_WITH_CODE(TestFileInfo, test_file_info, G_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(NAUTILUS_TYPE_FILE_INFO, fileInfoInterfaceInit))
void test_file_info_init(TestFileInfo*) {}
void test_file_info_class_init(TestFileInfoClass*) {}

NautilusFileInfo* newFileInfo(GFile* location, const std::optional<std::string>& mimeType = std::nullopt) {
    GObject* info = G_OBJECT(g_object_new(test_file_info_get_type(), nullptr));
    g_object_set_data_full(info, "location", g_object_ref(location), g_object_unref);
    GFileInfo* queried = g_file_query_info(location, G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE,
                                           G_FILE_QUERY_INFO_NONE, nullptr, nullptr);
    const char* type = mimeType  ? mimeType->c_str()
                       : queried ? g_file_info_get_content_type(queried)
                                 : "application/octet-stream";
    g_object_set_data_full(info, "type", g_strdup(type), g_free);
    g_clear_object(&queried);
    return NAUTILUS_FILE_INFO(info);
}

std::vector<std::string> openedURLs;

} // namespace

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
    std::array<char, 4096> text{};
    std::vsnprintf(text.data(), text.size(), format, arguments);
    va_end(arguments);
    logged.emplace_back(priority, text.data());
}

namespace {

gboolean captureURLs(GList* urls, GError**) {
    for (GList* url = urls; url != nullptr; url = url->next)
        openedURLs.emplace_back(static_cast<const char*>(url->data));
    return TRUE;
}

struct GObjectDeleter {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T> using Owned = std::unique_ptr<T, GObjectDeleter>;

struct MenuItemsDeleter {
    void operator()(GList* items) const { nautilus_menu_item_list_free(items); }
};
using MenuItems = std::unique_ptr<GList, MenuItemsDeleter>;

std::string textProperty(NautilusMenuItem* item, const char* name) {
    char* value = nullptr;
    g_object_get(item, name, &value, nullptr);
    std::string text = value != nullptr ? value : "";
    g_free(value);
    return text;
}

MenuItems submenuItems(NautilusMenuItem* item) {
    NautilusMenu* menu = nullptr;
    g_object_get(item, "menu", &menu, nullptr);
    if (menu == nullptr)
        return nullptr;
    MenuItems items{nautilus_menu_get_items(menu)};
    g_object_unref(menu);
    return items;
}

std::vector<std::string> labels(GList* list) {
    std::vector<std::string> texts;
    for (GList* item = list; item != nullptr; item = item->next)
        texts.push_back(textProperty(NAUTILUS_MENU_ITEM(item->data), "label"));
    return texts;
}

// The requests a click on each item sends, in menu order.
std::vector<std::optional<QuillmorphRequest>> requestsOf(GList* list) {
    std::vector<std::optional<QuillmorphRequest>> requests;
    for (GList* item = list; item != nullptr; item = item->next) {
        openedURLs.clear();
        nautilus_menu_item_activate(NAUTILUS_MENU_ITEM(item->data));
        requests.push_back(openedURLs.size() == 1 ? RequestTransport::request(openedURLs.front())
                                                  : std::nullopt);
    }
    return requests;
}

class NautilusModuleTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // The module finds its resources beside itself, as the installed one does.
        unsetenv("QUILLMORPH_RESOURCE_DIR");
        loader = G_TYPE_MODULE(g_object_new(module_loader_get_type(), nullptr));
        ASSERT_TRUE(g_type_module_use(loader)) << dlerror();
        const GType* types = nullptr;
        int count = 0;
        reinterpret_cast<void (*)(const GType**, int*)>(dlsym(moduleHandle, "nautilus_module_list_types"))(
            &types, &count);
        ASSERT_EQ(count, 1);
        providerType = types[0];
        reinterpret_cast<decltype(&quillmorph_extension_set_launcher)>(
            dlsym(moduleHandle, "quillmorph_extension_set_launcher"))(captureURLs);

        files = std::make_unique<TemporaryDirectory>();
        const auto file = [](const char* name) {
            return (*files / name).string();
        };
        testing::mustRun({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=48x32:rate=10",
                          "-frames:v", "1", file("photo.png")});
        testing::mustRun({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=48x32:rate=10", "-t",
                          "0.5", "-pix_fmt", "yuv420p", "-c:v", "libx264", file("clip.mp4")});
        testing::mustRun({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine=duration=0.5", "-c:a",
                          "libvorbis", file("tune.ogg")});
        testing::mustRun({"img2pdf", file("photo.png"), "-o", file("doc.pdf")});
        std::filesystem::copy_file(file("photo.png"), file("second.png"));
        std::filesystem::copy_file(file("clip.mp4"), file("film.mkv"));
        testing::writeFile(file("notes.txt"), "nothing to convert\n");
    }

    void SetUp() override {
        ASSERT_NE(providerType, G_TYPE_INVALID);
        m_provider.reset(NAUTILUS_MENU_PROVIDER(g_object_new(providerType, nullptr)));
    }

    static std::string path(const char* name) { return (*files / name).string(); }

    // `selection` holds paths or URIs, each with the MIME type the host reports, if not GIO's.
    MenuItems itemsFor(const std::vector<std::pair<std::string, std::optional<std::string>>>& selection) {
        GList* infos = nullptr;
        for (const auto& [location, mimeType] : selection) {
            Owned<GFile> file{location.starts_with("/") ? g_file_new_for_path(location.c_str())
                                                        : g_file_new_for_uri(location.c_str())};
            infos = g_list_append(infos, newFileInfo(file.get(), mimeType));
        }
        MenuItems items{nautilus_menu_provider_get_file_items(m_provider.get(), infos)};
        nautilus_file_info_list_free(infos);
        return items;
    }

    static inline GTypeModule* loader = nullptr;
    static inline GType providerType = G_TYPE_INVALID;
    static inline std::unique_ptr<TemporaryDirectory> files;
    Owned<NautilusMenuProvider> m_provider;
};

TEST_F(NautilusModuleTest, OffersOneItemOrASubmenuInFixedOrder) {
    const std::map<ActionKind, Phrase> titles{{ActionKind::image, Phrase::menuImages},
                                              {ActionKind::video, Phrase::menuVideos},
                                              {ActionKind::extractAudio, Phrase::menuExtractAudio},
                                              {ActionKind::audio, Phrase::menuAudios},
                                              {ActionKind::pdf, Phrase::menuPdfs}};
    const std::vector<std::string> images{path("photo.png"), path("second.png")};
    const std::vector<std::string> clip{path("clip.mp4")};
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::optional<std::string>>> selection; // type: GIO's if none
        std::vector<QuillmorphRequest> clicks; // in menu order; none: no menu
    } rows[] = {
        {"one image",
         {{path("photo.png"), std::nullopt}},
         {{.action = ActionKind::image, .paths = {path("photo.png")}}}},
        {"a video is two entries",
         {{path("clip.mp4"), std::nullopt}},
         {{.action = ActionKind::video, .paths = clip}, {.action = ActionKind::extractAudio, .paths = clip}}},
        {"untyped, by its extension",
         {{path("film.mkv"), "application/octet-stream"}},
         {{.action = ActionKind::video, .paths = {path("film.mkv")}},
          {.action = ActionKind::extractAudio, .paths = {path("film.mkv")}}}},
        {"text", {{path("notes.txt"), std::nullopt}}, {}},
        // The first class that fits: an audio type or extension before a movie type or an image type.
        {"audio, also audiovisual",
         {{path("voice.m4a"), "audio/mp4"}},
         {{.action = ActionKind::audio, .paths = {path("voice.m4a")}}}},
        {"untyped audio",
         {{path("track.WMA"), "application/octet-stream"}},
         {{.action = ActionKind::audio, .paths = {path("track.WMA")}}}},
        {"an image named as a video",
         {{path("poster.mkv"), "image/png"}},
         {{.action = ActionKind::image, .paths = {path("poster.mkv")}}}},
        {"an Ogg container",
         {{path("clip.ogx"), "application/ogg"}},
         {{.action = ActionKind::video, .paths = {path("clip.ogx")}},
          {.action = ActionKind::extractAudio, .paths = {path("clip.ogx")}}}},
        {"untyped archive", {{path("archive.mkv.zip"), "application/octet-stream"}}, {}},
        {"remote", {{"sftp://example.org/photo.png", "image/png"}}, {}},
        {"every kind",
         {{path("doc.pdf"), std::nullopt},
          {path("photo.png"), std::nullopt},
          {path("tune.ogg"), std::nullopt},
          {path("notes.txt"), std::nullopt},
          {path("clip.mp4"), std::nullopt},
          {path("second.png"), std::nullopt}},
         {{.action = ActionKind::image, .paths = images},
          {.action = ActionKind::video, .paths = clip},
          {.action = ActionKind::extractAudio, .paths = clip},
          {.action = ActionKind::audio, .paths = {path("tune.ogg")}},
          {.action = ActionKind::pdf, .paths = {path("doc.pdf")}}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const MenuItems items = itemsFor(row.selection);
        if (row.clicks.empty()) {
            EXPECT_EQ(items, nullptr);
            continue;
        }
        ASSERT_EQ(labels(items.get()), std::vector<std::string>{"Quillmorph"});
        const std::filesystem::path icon = textProperty(NAUTILUS_MENU_ITEM(items->data), "icon");
        EXPECT_TRUE(std::filesystem::is_regular_file(icon) && icon.filename() == "MenuIcon.png") << icon;
        const MenuItems submenu = submenuItems(NAUTILUS_MENU_ITEM(items->data));
        EXPECT_EQ(row.clicks.size() == 1, submenu == nullptr);
        GList* clickable = row.clicks.size() == 1 ? items.get() : submenu.get();
        std::vector<std::optional<QuillmorphRequest>> expected;
        std::vector<std::string> expectedLabels;
        for (const QuillmorphRequest& click : row.clicks) {
            expected.emplace_back(click);
            expectedLabels.push_back(Localization::string(titles.at(click.action)));
        }
        EXPECT_EQ(requestsOf(clickable), expected);
        if (submenu)
            EXPECT_EQ(labels(submenu.get()), expectedLabels);
    }
    EXPECT_NE(Localization::string(Phrase::menuImages), "menu.images")
        << "the language document was not found";
    EXPECT_FALSE(renamedHost);
    EXPECT_FALSE(logged.empty());
    for (const auto& [priority, text] : logged) {
        SCOPED_TRACE(text);
        EXPECT_TRUE(text.starts_with("com.harrowlane.Quillmorph.Finder: ["));
        if (text.find(files->path().string()) != std::string::npos || text.find(".png") != std::string::npos)
            EXPECT_EQ(priority, LOG_DEBUG) << "file names stay out of the host's journal";
    }
    Owned<GFile> folder{g_file_new_for_path(files->path().c_str())};
    Owned<NautilusFileInfo> info{newFileInfo(folder.get())};
    EXPECT_EQ(nautilus_menu_provider_get_background_items(m_provider.get(), info.get()), nullptr);
}

} // namespace
} // namespace quillmorph
