#include "extension/NautilusModule.h"

#include "common/Localization.h"
#include "common/RequestTransport.h"
#include "tests/extension/TestFileInfo.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <cstdlib>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <memory>

namespace quillmorph {
namespace {

using testing::TemporaryDirectory;

// What GNOME Files does with an extension module: a GTypeModule whose load opens it and runs
// nautilus_module_initialize.
struct ModuleLoader {
    GTypeModule parent;
};

struct ModuleLoaderClass {
    GTypeModuleClass parent;
};

G_DEFINE_TYPE(ModuleLoader, module_loader, G_TYPE_TYPE_MODULE)

void* moduleHandle = nullptr;

gboolean loadModule(GTypeModule* module) {
    if (moduleHandle == nullptr)
        moduleHandle = dlopen(QUILLMORPH_NAUTILUS_MODULE, RTLD_NOW | RTLD_LOCAL);
    if (moduleHandle == nullptr)
        return FALSE;
    auto initialize =
        reinterpret_cast<void (*)(GTypeModule*)>(dlsym(moduleHandle, "nautilus_module_initialize"));
    if (initialize == nullptr)
        return FALSE;
    initialize(module);
    return TRUE;
}

// Types of a module stay registered for the process's life, as in the file manager.
void unloadModule(GTypeModule*) {}

void module_loader_init(ModuleLoader*) {}

void module_loader_class_init(ModuleLoaderClass* loaderClass) {
    G_TYPE_MODULE_CLASS(loaderClass)->load = loadModule;
    G_TYPE_MODULE_CLASS(loaderClass)->unload = unloadModule;
}

std::vector<std::string> openedURLs;

gboolean captureURL(const char* uri, GAppLaunchContext*, GError**) {
    openedURLs.emplace_back(uri);
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

std::vector<NautilusMenuItem*> itemsOf(GList* list) {
    std::vector<NautilusMenuItem*> items;
    for (GList* item = list; item != nullptr; item = item->next)
        items.push_back(NAUTILUS_MENU_ITEM(item->data));
    return items;
}

std::vector<std::string> labels(GList* list) {
    std::vector<std::string> texts;
    for (NautilusMenuItem* item : itemsOf(list))
        texts.push_back(textProperty(item, "label"));
    return texts;
}

// The requests a click on each item sends, in menu order.
std::vector<std::optional<QuillmorphRequest>> requestsOf(GList* list) {
    std::vector<std::optional<QuillmorphRequest>> requests;
    for (NautilusMenuItem* item : itemsOf(list)) {
        openedURLs.clear();
        nautilus_menu_item_activate(item);
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
            dlsym(moduleHandle, "quillmorph_extension_set_launcher"))(captureURL);

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

    // The items for a selection of files in the temporary folder, typed as GIO sees them.
    MenuItems itemsFor(const std::vector<const char*>& names) {
        std::vector<std::pair<std::string, std::optional<std::string>>> selection;
        for (const char* name : names)
            selection.emplace_back(path(name), std::nullopt);
        return itemsForTyped(selection);
    }

    // `selection` holds paths or URIs, each with the MIME type the host reports, if not GIO's.
    MenuItems
    itemsForTyped(const std::vector<std::pair<std::string, std::optional<std::string>>>& selection) {
        GList* infos = nullptr;
        for (const auto& [location, mimeType] : selection) {
            Owned<GFile> file{location.starts_with("/") ? g_file_new_for_path(location.c_str())
                                                        : g_file_new_for_uri(location.c_str())};
            infos = g_list_append(infos, testing::newFileInfo(file.get(), mimeType));
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

TEST_F(NautilusModuleTest, ClassifiesEachKindOfFile) {
    constexpr auto octetStream = "application/octet-stream";
    struct Row {
        const char* name;
        std::optional<std::string> mimeType; // nothing: GIO's type of the file
        std::vector<ActionKind> actions;     // in menu order; empty: no menu
    };
    const Row rows[] = {
        {"photo.png", std::nullopt, {ActionKind::image}},
        {"clip.mp4", std::nullopt, {ActionKind::video, ActionKind::extractAudio}},
        {"film.mkv", octetStream, {ActionKind::video, ActionKind::extractAudio}},
        {"notes.txt", std::nullopt, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const MenuItems items = itemsForTyped({{path(row.name), row.mimeType}});
        if (row.actions.empty()) {
            EXPECT_EQ(items, nullptr);
            continue;
        }
        ASSERT_EQ(g_list_length(items.get()), 1u);
        EXPECT_EQ(labels(items.get()), std::vector<std::string>{"Quillmorph"});
        const MenuItems submenu = submenuItems(NAUTILUS_MENU_ITEM(items->data));
        GList* clickable = row.actions.size() == 1 ? items.get() : submenu.get();
        EXPECT_EQ(row.actions.size() == 1, submenu == nullptr);
        std::vector<std::optional<QuillmorphRequest>> expected;
        for (ActionKind action : row.actions)
            expected.push_back(QuillmorphRequest{.action = action, .paths = {path(row.name)}});
        EXPECT_EQ(requestsOf(clickable), expected);
    }
}

TEST_F(NautilusModuleTest, MixedSelectionOffersASubmenuInFixedOrder) {
    const MenuItems items =
        itemsFor({"doc.pdf", "photo.png", "tune.ogg", "notes.txt", "clip.mp4", "second.png"});
    ASSERT_EQ(g_list_length(items.get()), 1u);
    auto* top = NAUTILUS_MENU_ITEM(items->data);
    EXPECT_EQ(textProperty(top, "label"), "Quillmorph");
    const std::filesystem::path icon = textProperty(top, "icon");
    EXPECT_EQ(icon.filename(), "MenuIcon.png");
    EXPECT_TRUE(std::filesystem::is_regular_file(icon)) << icon;

    const MenuItems submenu = submenuItems(top);
    EXPECT_EQ(labels(submenu.get()), (std::vector<std::string>{
                                         Localization::string(Phrase::menuImages),
                                         Localization::string(Phrase::menuVideos),
                                         Localization::string(Phrase::menuExtractAudio),
                                         Localization::string(Phrase::menuAudios),
                                         Localization::string(Phrase::menuPdfs),
                                     }));
    EXPECT_NE(labels(submenu.get()).front(), "menu.images") << "the language document was not found";

    const std::vector<std::string> images{path("photo.png"), path("second.png")};
    const std::vector<std::string> videos{path("clip.mp4")};
    EXPECT_EQ(requestsOf(submenu.get()),
              (std::vector<std::optional<QuillmorphRequest>>{
                  QuillmorphRequest{.action = ActionKind::image, .paths = images},
                  QuillmorphRequest{.action = ActionKind::video, .paths = videos},
                  QuillmorphRequest{.action = ActionKind::extractAudio, .paths = videos},
                  QuillmorphRequest{.action = ActionKind::audio, .paths = {path("tune.ogg")}},
                  QuillmorphRequest{.action = ActionKind::pdf, .paths = {path("doc.pdf")}},
              }));
}

TEST_F(NautilusModuleTest, RemoteFilesAndTheFolderBackgroundGetNoMenu) {
    EXPECT_EQ(itemsForTyped({{"sftp://example.org/photo.png", "image/png"}}), nullptr);
    Owned<GFile> folder{g_file_new_for_path(files->path().c_str())};
    Owned<NautilusFileInfo> info{testing::newFileInfo(folder.get())};
    EXPECT_EQ(nautilus_menu_provider_get_background_items(m_provider.get(), info.get()), nullptr);
}

TEST_F(NautilusModuleTest, ItemsAndProviderAreReleasedByTheirOwners) {
    MenuItems items = itemsFor({"photo.png", "doc.pdf"});
    ASSERT_NE(items, nullptr);
    gpointer top = items->data;
    std::vector<gpointer> entries;
    {
        const MenuItems submenu = submenuItems(NAUTILUS_MENU_ITEM(top));
        for (NautilusMenuItem* entry : itemsOf(submenu.get()))
            entries.push_back(entry);
    }
    ASSERT_EQ(entries.size(), 2u);
    g_object_add_weak_pointer(G_OBJECT(top), &top);
    for (gpointer& entry : entries)
        g_object_add_weak_pointer(G_OBJECT(entry), &entry);
    items.reset();
    EXPECT_EQ(top, nullptr);
    // NautilusMenu 43 frees its item list without dropping the reference it took on each item.
    for (gpointer entry : entries)
        EXPECT_TRUE(entry == nullptr || G_OBJECT(entry)->ref_count == 1);

    gpointer provider = m_provider.get();
    g_object_add_weak_pointer(G_OBJECT(provider), &provider);
    m_provider.reset();
    EXPECT_EQ(provider, nullptr);
}

} // namespace
} // namespace quillmorph
