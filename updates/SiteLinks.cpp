#include "SiteLinks.h"

#include "WebAddress.h"
#include "common/Bundle.h"
#include "common/UserDefaults.h"

namespace quillmorph::SiteLinks {

std::optional<std::string> home() {
    std::string site = UserDefaults::string("QuillmorphSite").value_or(std::string(Bundle::site()));
    if (site.ends_with('/'))
        site.pop_back();
    if (site.empty() || !isWebAddress(site))
        return std::nullopt;
    return site;
}

std::optional<std::string> page(std::string_view fragment) {
    const std::optional<std::string> site = home();
    if (!site)
        return std::nullopt;
    return *site + "#" + std::string(fragment);
}

} // namespace quillmorph::SiteLinks
