// The Dolphin service menu, the Thunar custom actions and their installer, and quillmorph-open,
// which both file managers run.
#include "common/RequestTransport.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <algorithm>
#include <filesystem>
#include <glib.h>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace quillmorph {
namespace {

using testing::mustRun;
using testing::readFile;
using testing::runTool;
using testing::TemporaryDirectory;
using testing::writeFile;

std::size_t occurrences(std::string_view text, std::string_view part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST(DolphinServiceMenu, ValidatesApartFromTheKeysOnlyServiceMenusUse) {
    const testing::CommandResult result = runTool({"desktop-file-validate", QUILLMORPH_DOLPHIN_MENU});
    // The validator knows application entries only: it objects to a service's MimeType and
    // Actions, and to all/allfiles, which Dolphin needs for mixed selections.
    const std::vector<std::string> tolerated{
        "but the type is \"Service\" while this key is only valid for type \"Application\"",
        "\"all\" is an unregistered media type"};
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) {
        SCOPED_TRACE(line);
        EXPECT_TRUE(std::ranges::any_of(
            tolerated, [&](const std::string& known) { return line.find(known) != std::string::npos; }));
    }
}

TEST(DolphinServiceMenu, OffersEveryActionThroughQuillmorphOpen) {
    const std::unique_ptr<GKeyFile, decltype(&g_key_file_free)> menu{g_key_file_new(), g_key_file_free};
    ASSERT_TRUE(g_key_file_load_from_file(menu.get(), QUILLMORPH_DOLPHIN_MENU, G_KEY_FILE_KEEP_TRANSLATIONS,
                                          nullptr));
    for (const ActionKind action : allCases<ActionKind>()) {
        const std::string name(toString(action));
        SCOPED_TRACE(name);
        const std::string group = "Desktop Action " + name;
        const std::unique_ptr<char, decltype(&g_free)> exec{
            g_key_file_get_string(menu.get(), group.c_str(), "Exec", nullptr), g_free};
        ASSERT_NE(exec, nullptr);
        EXPECT_EQ(std::string(exec.get()), "quillmorph-open " + name + " %F");
        const std::unique_ptr<char, decltype(&g_free)> italian{
            g_key_file_get_locale_string(menu.get(), group.c_str(), "Name", "it", nullptr), g_free};
        ASSERT_NE(italian, nullptr);
        EXPECT_TRUE(std::string(italian.get()).ends_with("…"));
    }
}

// Two actions of the user's, written the way a hand edit might leave them.
constexpr std::string_view userActions = R"(<?xml version="1.0" encoding="UTF-8"?>
<!-- kept by hand: <action> in a comment is not an action -->
<actions>
<action>
	<icon>utilities-terminal</icon>
	<name>Open Terminal Here</name>
	<unique-id>1234567890-1</unique-id>
	<command>exo-open --working-directory %f --launch TerminalEmulator</command>
	<patterns>*</patterns>
	<directories/>
</action>
  <action><name xml:lang="it">Copia &amp; incolla “qui”</name><unique-id>user-2</unique-id><command>cp %F '/tmp/a > b'</command><patterns>*.txt</patterns><text-files/></action>
</actions>
)";

struct Installer {
    TemporaryDirectory home;
    std::filesystem::path file = home / "Thunar" / "uca.xml";

    void write(const std::string& contents) const {
        std::filesystem::create_directories(file.parent_path());
        writeFile(file, contents);
    }
    testing::CommandResult run() const {
        return runTool({"env", "XDG_CONFIG_HOME=" + home.path().string(), QUILLMORPH_THUNAR_INSTALL});
    }
};

TEST(ThunarInstall, KeepsTheUsersActionsAndHoldsOursOnce) {
    Installer installer;
    installer.write(std::string(userActions));
    std::filesystem::permissions(installer.file,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    ASSERT_EQ(installer.run().exitCode, 0);
    const std::string once = readFile(installer.file);
    ASSERT_EQ(installer.run().exitCode, 0);
    const std::string twice = readFile(installer.file);
    EXPECT_EQ(twice, once);
    EXPECT_EQ(std::filesystem::status(installer.file).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    const std::size_t ours = userActions.rfind("</actions>");
    EXPECT_TRUE(twice.starts_with(userActions.substr(0, ours))) << twice;
    EXPECT_TRUE(twice.ends_with("</actions>\n"));
    for (const std::string_view action : {"image", "video", "pdf", "audio", "extractAudio"}) {
        SCOPED_TRACE(action);
        EXPECT_EQ(occurrences(twice, "<unique-id>quillmorph-" + std::string(action) + "</unique-id>"), 1U);
        EXPECT_EQ(occurrences(twice, "<command>quillmorph-open " + std::string(action) + " %F</command>"),
                  1U);
    }
    EXPECT_EQ(occurrences(twice, "</action>"), 7U);
}

TEST(ThunarInstall, CreatesTheFileWhenMissing) {
    Installer installer;
    ASSERT_EQ(installer.run().exitCode, 0);
    EXPECT_EQ(readFile(installer.file), readFile(QUILLMORPH_THUNAR_ACTIONS));
}

TEST(ThunarInstall, LeavesAFileItCannotReadAlone) {
    const std::vector<std::string> unreadable{
        "<actions><action><unique-id>x</unique-id></actions>", // unbalanced
        "<menu><action/></menu>",                              // not custom actions
        "<actions/>"};                                         // nowhere to add ours without rewriting
    for (const std::string& contents : unreadable) {
        SCOPED_TRACE(contents);
        Installer installer;
        installer.write(contents);
        const testing::CommandResult result = installer.run();
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_NE(result.output.find("left unchanged"), std::string::npos) << result.output;
        EXPECT_EQ(readFile(installer.file), contents);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(installer.file.parent_path()), {}), 1);
    }
}

class QuillmorphOpen : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder = std::make_unique<TemporaryDirectory>();
        const TemporaryDirectory& in = *folder;
        mustRun({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=64x48:duration=1", "-frames:v",
                 "1", (in / "photo.png").string()});
        mustRun({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=1",
                 "-pix_fmt", "yuv420p", (in / "clip.mp4").string()});
        mustRun(
            {"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine=duration=0.3", (in / "tone.wav").string()});
        mustRun({"img2pdf", (in / "photo.png").string(), "-o", (in / "doc.pdf").string()});
        writeFile(in / "notes.txt", "plain text\n");
        std::filesystem::create_directory(in / "folder.png");
        std::filesystem::copy_file(in / "photo.png", in / oddName);
        std::filesystem::copy_file(in / "photo.png", in / "bad\xff.png");
    }
    static void TearDownTestSuite() { folder.reset(); }

    static std::string path(const std::string& name) { return (*folder / name).string(); }

    static testing::CommandResult open(const std::string& action) {
        std::vector<std::string> arguments{"env", "QUILLMORPH_OPEN_PRINT=1", QUILLMORPH_OPEN, action};
        for (const char* name : {"photo.png", "clip.mp4", "doc.pdf", "notes.txt", "folder.png", oddName,
                                 "tone.wav", "bad\xff.png"})
            arguments.push_back(path(name));
        return runTool(arguments);
    }

    static constexpr const char* oddName = "a b\nstill ünïcode ✓.png";
    static inline std::unique_ptr<TemporaryDirectory> folder;
};

TEST_F(QuillmorphOpen, SendsTheFilesThatFitEachAction) {
    const struct {
        std::string action;
        QuillmorphRequest request;
    } cases[] = {
        {"image", {.action = ActionKind::image, .paths = {path("photo.png"), path(oddName)}}},
        {"video", {.action = ActionKind::video, .paths = {path("clip.mp4")}}},
        {"audio", {.action = ActionKind::audio, .paths = {path("tone.wav")}}},
        {"pdf", {.action = ActionKind::pdf, .paths = {path("doc.pdf")}}},
    };
    for (const auto& [action, expected] : cases) {
        SCOPED_TRACE(action);
        const testing::CommandResult result = open(action);
        ASSERT_EQ(result.exitCode, 0) << result.output;
        ASSERT_TRUE(result.output.ends_with('\n'));
        EXPECT_EQ(
            RequestTransport::request(std::string_view(result.output).substr(0, result.output.size() - 1)),
            expected)
            << result.output;
    }
}

TEST_F(QuillmorphOpen, ReportsNothingFittedAndUsageErrors) {
    const testing::CommandResult nothing =
        runTool({"env", "QUILLMORPH_OPEN_PRINT=1", QUILLMORPH_OPEN, "pdf", path("notes.txt"),
                 path("folder.png"), path("missing.pdf"), path("bad\xff.png")});
    EXPECT_EQ(nothing.exitCode, 1);
    EXPECT_EQ(nothing.output, "");
    EXPECT_EQ(runTool({"env", "QUILLMORPH_OPEN_PRINT=1", QUILLMORPH_OPEN}).exitCode, 2);
    EXPECT_EQ(
        runTool({"env", "QUILLMORPH_OPEN_PRINT=1", QUILLMORPH_OPEN, "Image", path("photo.png")}).exitCode, 2);
}

} // namespace
} // namespace quillmorph
