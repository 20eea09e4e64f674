#include "extension/RequestLaunch.h"

#include "common/Localization.h"
#include "common/Log.h"
#include "common/RequestTransport.h"
#include "common/UTF8.h"

#include <memory>
#include <string>
#include <vector>

namespace quillmorph::RequestLaunch {
namespace {

constexpr std::string_view category = "launch";

struct GObjectDeleter {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct GErrorDeleter {
    void operator()(GError* error) const { g_error_free(error); }
};
using OwnedError = std::unique_ptr<GError, GErrorDeleter>;

// Posted without waiting for an answer; without a notification service the user is not told.
void notifyLeftBehind(std::size_t count) {
    const std::unique_ptr<GDBusConnection, GObjectDeleter> bus{
        g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr)};
    if (!bus)
        return;
    const std::string body =
        Localization::string(Phrase::notifyNamesNotHandedOver, {{"n", std::to_string(count)}});
    g_dbus_connection_call(bus.get(), "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                           "org.freedesktop.Notifications", "Notify",
                           g_variant_new("(susssasa{sv}i)", "Quillmorph", 0u, "", "Quillmorph", body.c_str(),
                                         nullptr, nullptr, -1),
                           nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
    // A command ends right after this: the message must be on its way first.
    g_dbus_connection_flush_sync(bus.get(), nullptr, nullptr);
}

} // namespace

gboolean launchDefault(GList* urls, GError** error) {
    const std::unique_ptr<GAppInfo, GObjectDeleter> handler{
        g_app_info_get_default_for_uri_scheme("quillmorph")};
    if (!handler) {
        g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "no handler for the URL");
        return FALSE;
    }
    return g_app_info_launch_uris(handler.get(), urls, nullptr, error);
}

bool open(std::vector<QuillmorphRequest> requests, Launcher launcher) {
    std::size_t leftBehind = 0;
    std::vector<std::string> urls;
    for (QuillmorphRequest& request : requests) {
        const std::size_t selected = request.paths.size();
        std::erase_if(request.paths, [](const std::string& path) { return !isValidUTF8(path); });
        leftBehind += selected - request.paths.size();
        if (request.paths.empty())
            continue;
        const std::optional<std::string> url = RequestTransport::url(request);
        const std::optional<std::string> passed = url ? RequestTransport::passable(*url) : std::nullopt;
        if (!passed) {
            Log::error(category, "could not build request URL");
            continue;
        }
        Log::info(category, "opening a request for " + std::to_string(request.paths.size()) + " files");
        urls.push_back(*passed);
    }
    if (leftBehind > 0) {
        Log::info(category, std::to_string(leftBehind) + " file esclusi: nome non UTF-8");
        notifyLeftBehind(leftBehind);
    }
    if (urls.empty())
        return false;
    GList* list = nullptr;
    for (const std::string& url : urls)
        list = g_list_append(list, const_cast<char*>(url.c_str()));
    GError* rawError = nullptr;
    const bool launched = launcher(list, &rawError);
    g_list_free(list);
    const OwnedError error{rawError};
    if (!launched)
        Log::error(category, std::string("could not open the request: ") +
                                 (error ? error->message : "no handler for the URL"));
    return launched;
}

} // namespace quillmorph::RequestLaunch
