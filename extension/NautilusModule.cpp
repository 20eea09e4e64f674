// The GNOME Files module: a menu provider that feeds the host's selection to ContextMenu and turns
// its menu into NautilusMenuItems.
#include "extension/NautilusModule.h"

#include "common/Bundle.h"
#include "common/Log.h"
#include "extension/ContentType.h"
#include "extension/ContextMenu.h"
#include "extension/RequestLaunch.h"

#include <glib-object.h>
// The header declares the module entry points without C linkage.
extern "C" {
#include <nautilus-extension.h>
}

#include <dlfcn.h>
#include <filesystem>
#include <memory>

namespace {

using namespace quillmorph;

constexpr const char* tagKey = "quillmorph-tag";

QuillmorphLauncher launcher = RequestLaunch::launchDefault;

struct GObjectDeleter {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct GFreeDeleter {
    void operator()(gpointer memory) const { g_free(memory); }
};
using OwnedFile = std::unique_ptr<GFile, GObjectDeleter>;
using OwnedText = std::unique_ptr<char, GFreeDeleter>;

struct ProviderState {
    std::vector<SelectedItem> selection; // the files of the latest menu request
    ContextMenu contextMenu{[this] { return selection; },
                            [](QuillmorphRequest request) {
                                RequestLaunch::open({std::move(request)}, launcher);
                            }};
};

struct QuillmorphMenuProvider {
    GObject parent;
    ProviderState* state;
};

struct QuillmorphMenuProviderClass {
    GObjectClass parent;
};

void menuProviderInterfaceInit(NautilusMenuProviderInterface* interface);

G_DEFINE_DYNAMIC_TYPE_EXTENDED(QuillmorphMenuProvider, quillmorph_menu_provider, G_TYPE_OBJECT, 0,
                               G_IMPLEMENT_INTERFACE_DYNAMIC(NAUTILUS_TYPE_MENU_PROVIDER,
                                                             menuProviderInterfaceInit))

GType providerTypes[1];

void quillmorph_menu_provider_init(QuillmorphMenuProvider* provider) {
    provider->state = new ProviderState;
}

void finalize(GObject* object) {
    delete reinterpret_cast<QuillmorphMenuProvider*>(object)->state;
    G_OBJECT_CLASS(quillmorph_menu_provider_parent_class)->finalize(object);
}

void quillmorph_menu_provider_class_init(QuillmorphMenuProviderClass* providerClass) {
    G_OBJECT_CLASS(providerClass)->finalize = finalize;
}

void quillmorph_menu_provider_class_finalize(QuillmorphMenuProviderClass*) {}

SelectedItem selectedItem(NautilusFileInfo* file) {
    SelectedItem item;
    if (const OwnedFile location{nautilus_file_info_get_location(file)}) {
        item.name = OwnedText{g_file_get_basename(location.get())}.get();
        if (const OwnedText path{g_file_get_path(location.get())})
            item.path = path.get();
    }
    const OwnedText type{nautilus_file_info_get_mime_type(file)};
    // The host reports "application/octet-stream" for a type it could not tell.
    if (type && *type != '\0' && !g_content_type_is_unknown(type.get())) {
        item.contentType = type.get();
        item.conformsTo = conformance(type.get());
    }
    return item;
}

void activated(NautilusMenuItem* item, gpointer provider) {
    const long tag = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), tagKey));
    reinterpret_cast<QuillmorphMenuProvider*>(provider)->state->contextMenu.runRequest(tag);
}

NautilusMenuItem* nautilusItem(const MenuItem& item, const std::string& name,
                               QuillmorphMenuProvider* provider) {
    NautilusMenuItem* result = nautilus_menu_item_new(name.c_str(), item.title.c_str(), nullptr,
                                                      item.icon ? item.icon->c_str() : nullptr);
    if (item.action) {
        g_object_set_data(G_OBJECT(result), tagKey, GINT_TO_POINTER(tag(*item.action)));
        g_signal_connect_object(result, "activate", G_CALLBACK(activated), provider, GConnectFlags{});
    }
    if (!item.submenu.empty()) {
        NautilusMenu* submenu = nautilus_menu_new();
        for (const MenuItem& entry : item.submenu) {
            NautilusMenuItem* child =
                nautilusItem(entry, name + "::" + std::string(toString(actionKind(*entry.action))), provider);
            nautilus_menu_append_item(submenu, child);
            g_object_unref(child);
        }
        nautilus_menu_item_set_submenu(result, submenu);
        g_object_unref(submenu);
    }
    return result;
}

GList* menuItems(QuillmorphMenuProvider* provider, MenuKind kind) {
    const std::optional<MenuItem> menu = provider->state->contextMenu.menu(kind);
    if (!menu)
        return nullptr;
    return g_list_append(nullptr, nautilusItem(*menu, "Quillmorph::menu", provider));
}

GList* getFileItems(NautilusMenuProvider* menuProvider, GList* files) {
    auto* provider = reinterpret_cast<QuillmorphMenuProvider*>(menuProvider);
    std::vector<SelectedItem>& selection = provider->state->selection;
    selection.clear();
    for (GList* file = files; file != nullptr; file = file->next)
        selection.push_back(selectedItem(NAUTILUS_FILE_INFO(file->data)));
    return menuItems(provider, MenuKind::items);
}

GList* getBackgroundItems(NautilusMenuProvider* menuProvider, NautilusFileInfo*) {
    return menuItems(reinterpret_cast<QuillmorphMenuProvider*>(menuProvider), MenuKind::container);
}

void menuProviderInterfaceInit(NautilusMenuProviderInterface* interface) {
    interface->get_file_items = getFileItems;
    interface->get_background_items = getBackgroundItems;
}

// share/quillmorph beside the module's folder in a build tree; the installed data folder otherwise,
// since the installed module lives in GNOME Files' own extension folder.
std::filesystem::path resourceDirectory() {
    Dl_info module{};
    if (dladdr(reinterpret_cast<const void*>(&resourceDirectory), &module) != 0 &&
        module.dli_fname != nullptr) {
        const std::filesystem::path beside =
            std::filesystem::path(module.dli_fname).parent_path().parent_path() / "share" / "quillmorph";
        std::error_code error;
        if (std::filesystem::exists(beside / "Localizations.json", error))
            return beside;
    }
    return QUILLMORPH_INSTALLED_RESOURCE_DIR;
}

} // namespace

extern "C" {

G_MODULE_EXPORT void nautilus_module_initialize(GTypeModule* module) {
    Log::setIdentifier(Bundle::extensionIdentifier, Log::Identity::guest);
    Bundle::setResourceDirectory(resourceDirectory());
    quillmorph_menu_provider_register_type(module);
    providerTypes[0] = quillmorph_menu_provider_get_type();
}

G_MODULE_EXPORT void nautilus_module_shutdown() {}

G_MODULE_EXPORT void nautilus_module_list_types(const GType** types, int* count) {
    *types = providerTypes;
    *count = G_N_ELEMENTS(providerTypes);
}

G_MODULE_EXPORT void quillmorph_extension_set_launcher(QuillmorphLauncher replacement) {
    launcher = replacement != nullptr ? replacement : RequestLaunch::launchDefault;
}

} // extern "C"
