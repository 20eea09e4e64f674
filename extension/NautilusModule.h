#pragma once

#include <gio/gio.h>
#include <gmodule.h>

G_BEGIN_DECLS

// How the module hands request URLs to the desktop: one launch of the handler of quillmorph URLs
// unless replaced, so that a test can catch the URLs instead of starting the application.
typedef gboolean (*QuillmorphLauncher)(GList* urls, GError** error);

// Replaces the launcher; NULL restores the default.
G_MODULE_EXPORT void quillmorph_extension_set_launcher(QuillmorphLauncher launcher);

G_END_DECLS
