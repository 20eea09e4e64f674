#pragma once

#include <gio/gio.h>
#include <gmodule.h>

G_BEGIN_DECLS

// How the module hands a request URL to the desktop: g_app_info_launch_default_for_uri unless
// replaced, so that a test can catch the URL instead of starting the application.
typedef gboolean (*QuillmorphLauncher)(const char* uri, GAppLaunchContext* context, GError** error);

// Replaces the launcher; NULL restores the default.
G_MODULE_EXPORT void quillmorph_extension_set_launcher(QuillmorphLauncher launcher);

G_END_DECLS
