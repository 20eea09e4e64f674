#pragma once

#include "common/QuillmorphRequest.h"
#include "extension/MenuItem.h"
#include "extension/SelectedMedia.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillmorph {

// The menus a file manager asks an extension for.
enum class MenuKind { items, container };

// The extension's principal object: classifies the selection when the host builds a context menu,
// offers one entry per kind of media in it, and on a click hands over the request for the files
// classified when that menu was built. Every failure is logged and otherwise silent.
class ContextMenu {
  public:
    // The host's current selection.
    using SelectionSource = std::function<std::vector<SelectedItem>()>;
    // Hands a request to the application; its result is not checked.
    using RequestOpener = std::function<void(QuillmorphRequest request)>;

    ContextMenu(SelectionSource selection, RequestOpener open);

    // The one item the extension adds to the menu: titled "Quillmorph", running the only entry
    // itself or holding a submenu of two or more. Nothing for a menu other than the selection's,
    // or when nothing selected is media (the stored lists then stay as they were).
    [[nodiscard]] std::optional<MenuItem> menu(MenuKind kind);

    // The click on an item with this tag: the stored files of its entry, or, when none were
    // stored, the entry's files in a fresh classification of the current selection.
    void runRequest(long tag);

    // The selection classified by the last menu request that found media.
    [[nodiscard]] const SelectedMedia& last() const { return m_last; }

  private:
    SelectionSource m_selection;
    RequestOpener m_open;
    SelectedMedia m_last;
};

} // namespace quillmorph
