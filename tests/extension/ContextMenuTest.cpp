#include "extension/ContextMenu.h"

#include "common/Localization.h"
#include "tests/support/TemporaryDirectory.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace quillmorph {
namespace {

SelectedItem item(const std::string& path, Conformance type = {}) {
    return {.name = std::filesystem::path(path).filename(), .path = path, .conformsTo = type};
}

// A host whose selection the test changes between menus and clicks.
class ContextMenuTest : public ::testing::Test {
  protected:
    std::vector<SelectedItem> m_selection;
    std::vector<QuillmorphRequest> m_opened;
    ContextMenu m_menu{[this] { return m_selection; },
                       [this](QuillmorphRequest request) { m_opened.push_back(std::move(request)); }};

    // The one request opened by a click, with what the log says about it.
    std::pair<std::optional<QuillmorphRequest>, std::string> click(long tag) {
        m_opened.clear();
        setenv("QUILLMORPH_LOG", "stderr", 1);
        ::testing::internal::CaptureStderr();
        m_menu.runRequest(tag);
        const std::string logged = ::testing::internal::GetCapturedStderr();
        return {m_opened.size() == 1 ? std::optional(m_opened.front()) : std::nullopt, logged};
    }
};

TEST_F(ContextMenuTest, MissingIconLeavesTheItemWithoutOne) {
    // The phrases load once per process: from the real resources, not the empty folder below.
    ASSERT_TRUE(Localization::document());
    const testing::TemporaryDirectory emptyResources;
    setenv("QUILLMORPH_RESOURCE_DIR", emptyResources.path().c_str(), 1);
    setenv("QUILLMORPH_LOG", "stderr", 1);
    m_selection = {item("/a.png", {.image = true})};
    ::testing::internal::CaptureStderr();
    const std::optional<MenuItem> menu = m_menu.menu(MenuKind::items);
    const std::string logged = ::testing::internal::GetCapturedStderr();
    unsetenv("QUILLMORPH_RESOURCE_DIR"); // the module test finds its resources beside the module

    ASSERT_TRUE(menu);
    EXPECT_FALSE(menu->icon);
    EXPECT_NE(logged.find("MenuIcon assente dalle risorse dell'estensione"), std::string::npos) << logged;
}

TEST_F(ContextMenuTest, ClickSendsTheFilesOfTheLastMenuOrElseOfTheSelection) {
    m_selection = {item("/a.png", {.image = true}), item("/b.pdf", {.pdf = true}),
                   item("/caf\xe9.mp4", {.movie = true})};
    EXPECT_FALSE(m_menu.menu(MenuKind::container)) << "only the selection menu is offered";
    ASSERT_TRUE(m_menu.menu(MenuKind::items));
    const SelectedMedia stored = m_menu.last();
    m_selection = {item("/notes.txt"), item("/Holiday")};
    EXPECT_FALSE(m_menu.menu(MenuKind::items)) << "no media, no menu";
    EXPECT_EQ(m_menu.last(), stored);
    m_selection = {item("/other.png", {.image = true}), item("/films/new.webm")};

    const struct {
        long tag;
        std::optional<QuillmorphRequest> request;
        const char* logged;
    } rows[] = {
        {tag(MenuAction::image), QuillmorphRequest{.action = ActionKind::image, .paths = {"/a.png"}}, ""},
        // An entry without stored files takes them from the current selection.
        {tag(MenuAction::audio), std::nullopt, "no matching file selected for tag 4"},
        // Names that are not UTF-8 are left to the launch, which tells the user about them.
        {tag(MenuAction::extractAudio),
         QuillmorphRequest{.action = ActionKind::extractAudio, .paths = {"/caf\xe9.mp4"}}, ""},
        {6, std::nullopt, "menu item with unknown tag 6"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.logged);
        const auto [request, logged] = click(row.tag);
        EXPECT_EQ(request, row.request);
        EXPECT_NE(logged.find(row.logged), std::string::npos) << logged;
    }
    m_menu = ContextMenu{[this] { return m_selection; },
                         [this](QuillmorphRequest request) { m_opened.push_back(std::move(request)); }};
    EXPECT_EQ(click(tag(MenuAction::video)).first,
              (QuillmorphRequest{.action = ActionKind::video, .paths = {"/films/new.webm"}}));
}

} // namespace
} // namespace quillmorph
