#pragma once

#include "common/QuillmorphRequest.h"

#include <gio/gio.h>

// Hands a request to the application through the desktop's handler of quillmorph URLs: the last step
// of every file manager's menu entry.
namespace quillmorph::RequestLaunch {

// Opens a URL: the desktop's default handler, unless a test or a printing front end says otherwise.
using Launcher = gboolean (*)(const char* uri, GAppLaunchContext* context, GError** error);

// Paths that are not valid UTF-8 cannot travel in a request: the others go ahead, and one
// notification tells the user how many stayed behind. A URL too long for a command line travels as
// a stored request. False, with the reason logged, when nothing was handed over.
bool open(QuillmorphRequest request, Launcher launcher = g_app_info_launch_default_for_uri);

} // namespace quillmorph::RequestLaunch
