#pragma once

#include "common/QuillmorphRequest.h"

#include <gio/gio.h>
#include <vector>

// Hands a request to the application through the desktop's handler of quillmorph URLs: the last step
// of every file manager's menu entry.
namespace quillmorph::RequestLaunch {

// Opens URLs in one launch of the desktop's handler of quillmorph URLs, so that one application
// process receives them all; a test or a printing front end may stand in for it.
using Launcher = gboolean (*)(GList* urls, GError** error);
gboolean launchDefault(GList* urls, GError** error);

// Hands each request over as one URL, all in one launch. Paths that are not valid UTF-8 cannot
// travel in a request: the others go ahead, and one notification tells the user how many stayed
// behind. A URL too long for a command line travels as a stored request. False, with the reason
// logged, when nothing was handed over.
bool open(std::vector<QuillmorphRequest> requests, Launcher launcher = launchDefault);

} // namespace quillmorph::RequestLaunch
