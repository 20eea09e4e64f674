#include "extension/ContextMenu.h"

#include "common/Bundle.h"
#include "common/Localization.h"
#include "common/Log.h"

#include <array>
#include <utility>

namespace quillmorph {
namespace {

constexpr std::string_view category = "menu";
constexpr std::string_view productName = "Quillmorph";

struct Entry {
    MenuAction action;
    Phrase title;
};

// Offered in this order, each only when its files are present.
constexpr std::array<Entry, 5> candidates{{
    {MenuAction::image, Phrase::menuImages},
    {MenuAction::video, Phrase::menuVideos},
    {MenuAction::extractAudio, Phrase::menuExtractAudio},
    {MenuAction::audio, Phrase::menuAudios},
    {MenuAction::pdf, Phrase::menuPdfs},
}};

// Looked up for every menu, so an icon installed while the host runs is picked up.
std::optional<std::filesystem::path> menuIcon() {
    std::optional<std::filesystem::path> icon = Bundle::resource("MenuIcon.png");
    if (!icon)
        Log::error(category, "MenuIcon assente dalle risorse dell'estensione");
    return icon;
}

void logSelection(const std::vector<SelectedItem>& selection, const SelectedMedia& media) {
    Log::info(category, "menu richiesto: " + std::to_string(selection.size()) + " selezionati → " +
                            std::to_string(media.images.size()) + " immagini, " +
                            std::to_string(media.videos.size()) + " video, " +
                            std::to_string(media.pdfs.size()) + " PDF, " +
                            std::to_string(media.audios.size()) + " audio");
    // File names stay below the default level: the host's journal is not ours to fill.
    for (const SelectedItem& item : selection)
        Log::debug(category, item.name + ": " + item.contentType.value_or("nessun tipo"));
}

MenuItem menuFor(const SelectedMedia& media) {
    std::vector<MenuItem> entries;
    for (const Entry& entry : candidates) {
        if (!media.files(entry.action).empty())
            entries.push_back({.title = Localization::string(entry.title), .action = entry.action});
    }
    MenuItem item{.title = std::string(productName), .icon = menuIcon()};
    if (entries.size() == 1)
        item.action = entries.front().action;
    else
        item.submenu = std::move(entries);
    return item;
}

} // namespace

ContextMenu::ContextMenu(SelectionSource selection, RequestOpener open)
    : m_selection(std::move(selection)), m_open(std::move(open)) {
    Log::info(category, "estensione avviata, monitoraggio sulla radice");
}

std::optional<MenuItem> ContextMenu::menu(MenuKind kind) {
    if (kind != MenuKind::items)
        return std::nullopt;
    const std::vector<SelectedItem> selection = m_selection();
    SelectedMedia media = classify(selection);
    logSelection(selection, media);
    if (media.empty())
        return std::nullopt;
    m_last = std::move(media);
    return menuFor(m_last);
}

void ContextMenu::runRequest(long tag) {
    const std::optional<MenuAction> action = menuAction(tag);
    if (!action) {
        Log::error(category, "menu item with unknown tag " + std::to_string(tag));
        return;
    }
    std::vector<std::string> paths = m_last.files(*action);
    if (paths.empty())
        paths = classify(m_selection()).files(*action);
    if (paths.empty()) {
        Log::error(category, "no matching file selected for tag " + std::to_string(tag));
        return;
    }
    m_open({.action = actionKind(*action), .paths = std::move(paths)});
}

} // namespace quillmorph
