#include "extension/FinderSync.h"

#include "common/Localization.h"
#include "tests/support/TemporaryDirectory.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace quillmorph {
namespace {

SelectedItem png(std::string path) {
    return {.name = std::filesystem::path(path).filename(),
            .path = path,
            .contentType = "image/png",
            .conformsTo = {.image = true}};
}

SelectedItem pdf(std::string path) {
    return {.name = std::filesystem::path(path).filename(),
            .path = path,
            .contentType = "application/pdf",
            .conformsTo = {.pdf = true}};
}

SelectedItem untyped(std::string path) {
    return {.name = std::filesystem::path(path).filename(), .path = path};
}

// A host whose selection the test changes between menus and clicks.
class FinderSyncTest : public ::testing::Test {
  protected:
    std::vector<SelectedItem> m_selection;
    std::vector<QuillmorphRequest> m_opened;
    FinderSync m_finder{[this] { return m_selection; },
                        [this](QuillmorphRequest request) { m_opened.push_back(std::move(request)); }};

    std::optional<QuillmorphRequest> onlyOpenedRequest() const {
        if (m_opened.size() != 1)
            return std::nullopt;
        return m_opened.front();
    }
};

TEST(SelectedMedia, ClassesAreTestedInOrder) {
    struct Row {
        const char* name;
        Conformance type;
        std::vector<std::string> SelectedMedia::*expected; // nullptr: ignored
    };
    const Row rows[] = {
        {"scan.pdf", {.pdf = true, .audio = true, .image = true}, &SelectedMedia::pdfs},
        {"voice.m4a", {.audio = true, .movie = true, .audiovisualContent = true}, &SelectedMedia::audios},
        {"track.WMA", {}, &SelectedMedia::audios},
        {"poster.mkv", {.image = true}, &SelectedMedia::images},
        {"clip.ogx", {.audiovisualContent = true}, &SelectedMedia::videos},
        {"notes.txt", {}, nullptr},
        {"archive.mkv.zip", {}, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = std::string("/media/") + row.name;
        SelectedMedia expected;
        if (row.expected)
            (expected.*row.expected).push_back(path);
        EXPECT_EQ(classify({{.name = row.name, .path = path, .conformsTo = row.type}}), expected);
    }
}

TEST_F(FinderSyncTest, MissingIconLeavesTheItemWithoutOne) {
    // The phrases load once per process: from the real resources, not the empty folder below.
    ASSERT_TRUE(Localization::document());
    const testing::TemporaryDirectory emptyResources;
    const char* resources = std::getenv("QUILLMORPH_RESOURCE_DIR");
    const std::string previous = resources != nullptr ? resources : "";
    setenv("QUILLMORPH_RESOURCE_DIR", emptyResources.path().c_str(), 1);
    setenv("QUILLMORPH_LOG", "stderr", 1);
    m_selection = {png("/a.png")};
    ::testing::internal::CaptureStderr();
    const std::optional<MenuItem> item = m_finder.menu(MenuKind::items);
    const std::string logged = ::testing::internal::GetCapturedStderr();
    if (previous.empty())
        unsetenv("QUILLMORPH_RESOURCE_DIR");
    else
        setenv("QUILLMORPH_RESOURCE_DIR", previous.c_str(), 1);

    ASSERT_TRUE(item);
    EXPECT_FALSE(item->icon);
    EXPECT_NE(logged.find("MenuIcon assente dalle risorse dell'estensione"), std::string::npos) << logged;
}

TEST_F(FinderSyncTest, ClickSendsTheFilesOfTheLastMenuOrElseOfTheSelection) {
    m_selection = {png("/a.png"), pdf("/b.pdf")};
    EXPECT_FALSE(m_finder.menu(MenuKind::container)) << "only the selection menu is offered";
    ASSERT_TRUE(m_finder.menu(MenuKind::items));
    const SelectedMedia stored = m_finder.last();
    m_selection = {untyped("/notes.txt"), untyped("/Holiday")};
    EXPECT_FALSE(m_finder.menu(MenuKind::items)) << "no media, no menu";
    EXPECT_EQ(m_finder.last(), stored);
    m_selection = {png("/other.png"), untyped("/films/new.webm")};

    m_finder.runRequest(tag(MenuAction::image));
    EXPECT_EQ(onlyOpenedRequest(), (QuillmorphRequest{.action = ActionKind::image, .paths = {"/a.png"}}));
    m_opened.clear();
    m_finder.runRequest(tag(MenuAction::extractAudio));
    EXPECT_EQ(onlyOpenedRequest(),
              (QuillmorphRequest{.action = ActionKind::extractAudio, .paths = {"/films/new.webm"}}))
        << "an entry without stored files takes them from the current selection";
}

TEST_F(FinderSyncTest, ClicksThatCannotBuildARequestOpenNothing) {
    struct Row {
        const char* name;
        std::vector<SelectedItem> selection;
        long tag;
        const char* logged;
    };
    const Row rows[] = {
        {"unknown tag", {png("/a.png")}, 6, "menu item with unknown tag 6"},
        {"no such files", {png("/a.png")}, tag(MenuAction::audio), "no matching file selected for tag 4"},
    };
    setenv("QUILLMORPH_LOG", "stderr", 1);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FinderSync finder{[&row] { return row.selection; },
                          [this](QuillmorphRequest request) { m_opened.push_back(std::move(request)); }};
        ASSERT_TRUE(finder.menu(MenuKind::items));
        ::testing::internal::CaptureStderr();
        finder.runRequest(row.tag);
        const std::string logged = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(logged.find(row.logged), std::string::npos) << logged;
        EXPECT_TRUE(m_opened.empty());
    }
}

} // namespace
} // namespace quillmorph
