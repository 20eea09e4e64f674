// The Dolphin service menu, the Thunar custom actions and their installer, and quillmorph-open,
// which both file managers run.
#include "common/RequestTransport.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <memory>
#include <ranges>
#include <regex>
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

// Every match of `pattern` in `text`, which must outlive them.
std::vector<std::smatch> matches(const std::string& text, const std::string& pattern) {
    const std::regex expression(pattern);
    return std::vector<std::smatch>(std::sregex_iterator(text.begin(), text.end(), expression), {});
}

// Whether `fits` holds for one of the items of a ';'-separated list.
bool anyOf(const std::string& list, const std::function<bool(const char*)>& fits) {
    return std::ranges::any_of(std::views::split(list, ';'), [&](const auto& item) {
        return !item.empty() && fits(std::string(item.begin(), item.end()).c_str());
    });
}

std::string contentType(const std::string& name) {
    const std::unique_ptr<char, decltype(&g_free)> type{
        g_content_type_guess(name.c_str(), nullptr, 0, nullptr), g_free};
    return type.get();
}

// Dolphin's rule: a service menu shows its actions when every selected file's type is one of its
// MimeType entries or a subclass of one.
std::vector<std::string> dolphinEntries(const std::vector<std::string>& selection) {
    std::vector<std::string> names;
    for (const char* kind : {"images", "videos", "audio", "pdfs", "all"}) {
        const std::string menu =
            readFile(std::string(QUILLMORPH_DOLPHIN_MENUS) + "/quillmorph-" + kind + ".desktop");
        EXPECT_NE(menu.find("Name[de]="), std::string::npos) << "translated from the language document";
        const std::string accepted = matches(menu, "\nMimeType=(.*)").at(0)[1];
        if (std::ranges::all_of(selection, [&](const std::string& name) {
                return anyOf(accepted, [&](const char* type) {
                    return g_content_type_is_a(contentType(name).c_str(), type);
                });
            })) {
            for (const std::smatch& action :
                 matches(menu, "\\]\nName=(.*)")) // each action group's first line
                names.push_back(action[1]);
        }
    }
    return names;
}

// Thunar's rule: an action shows when every selected file's name matches one of its patterns and
// its type (audio, image, video, text, other) is one the action accepts.
std::vector<std::string> thunarEntries(const std::vector<std::string>& selection) {
    const std::string actions = readFile(QUILLMORPH_THUNAR_ACTIONS);
    std::vector<std::string> names;
    for (const std::smatch& action : matches(
             actions, "<action>[^]*?<name>([^<]*)</name>[^]*?<patterns>([^<]*)</patterns>([^]*?)</action>")) {
        if (std::ranges::all_of(selection, [&](const std::string& name) {
                const std::string type = contentType(name), group = type.substr(0, type.find('/'));
                const bool named =
                    group == "audio" || group == "image" || group == "video" || group == "text";
                return anyOf(action[2],
                             [&](const char* pattern) {
                                 return g_pattern_match_simple(pattern, name.c_str());
                             }) &&
                       action[3].str().find("<" + (named ? group : "other") + "-files/>") !=
                           std::string::npos;
            }))
            names.push_back(action[1]);
    }
    return names;
}

// Two actions of the user's, written the way a hand edit might leave them.
constexpr std::string_view userActions = R"(<?xml version="1.0" encoding="UTF-8"?>
<!-- kept by hand: <action> in a comment is not an action -->
<actions>
<action>
	<icon>utilities-terminal</icon><name>Open Terminal Here</name><unique-id>1234567890-1</unique-id>
	<command>exo-open --working-directory %f --launch TerminalEmulator</command>
	<patterns>*</patterns><directories/>
</action>
  <action><name xml:lang="it">Copia &amp; incolla “qui”</name><unique-id>user-2</unique-id><command>cp %F '/tmp/a > b'</command><patterns>*.txt</patterns><text-files/></action>
</actions>
)";

struct Installer {
    TemporaryDirectory home;
    TemporaryDirectory system; // $XDG_CONFIG_DIRS
    std::filesystem::path file = home / "Thunar" / "uca.xml";

    static void write(const std::filesystem::path& file, const std::string& contents) {
        std::filesystem::create_directories(file.parent_path());
        writeFile(file, contents);
    }
    testing::CommandResult run() const {
        return runTool({"env", "XDG_CONFIG_HOME=" + home.path().string(),
                        "XDG_CONFIG_DIRS=" + system.path().string(), QUILLMORPH_THUNAR_INSTALL});
    }
};

TEST(ThunarInstall, StartsFromTheSystemsActionsKeepsTheUsersAndHoldsOursOnce) {
    Installer bare;
    ASSERT_EQ(bare.run().exitCode, 0);
    EXPECT_EQ(readFile(bare.file), readFile(QUILLMORPH_THUNAR_ACTIONS)) << "no system actions to start from";

    Installer installer;
    Installer::write(installer.system / "Thunar" / "uca.xml", std::string(userActions));
    ASSERT_EQ(installer.run().exitCode, 0);
    std::filesystem::permissions(installer.file,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    const std::string once = readFile(installer.file);
    ASSERT_EQ(installer.run().exitCode, 0);
    const std::string twice = readFile(installer.file);
    EXPECT_EQ(twice, once);
    EXPECT_EQ(std::filesystem::status(installer.file).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    const std::size_t ours = userActions.rfind("</actions>");
    EXPECT_TRUE(twice.starts_with(userActions.substr(0, ours))) << twice;
    EXPECT_TRUE(twice.ends_with("</actions>\n"));
    for (const std::string action : {"image", "video", "pdf", "audio", "extractAudio", "all"})
        EXPECT_EQ(matches(twice, "<unique-id>quillmorph-" + action + "</unique-id>").size(), 1U) << action;
    EXPECT_EQ(matches(twice, "</action>").size(), 8U);
}

TEST(ThunarInstall, LeavesAFileItCannotReadAlone) {
    const std::vector<std::string> unreadable{
        "<actions><action><unique-id>x</unique-id></actions>", // unbalanced
        "<menu><action/></menu>",                              // not custom actions
        "<actions/>"};                                         // nowhere to add ours without rewriting
    for (const std::string& contents : unreadable) {
        SCOPED_TRACE(contents);
        Installer installer;
        Installer::write(installer.file, contents);
        const testing::CommandResult result = installer.run();
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_NE(result.output.find("left unchanged"), std::string::npos) << result.output;
        EXPECT_EQ(readFile(installer.file), contents);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(installer.file.parent_path()), {}), 1);
    }
}

// The managers judge by name and type alone, so the files need not exist.
TEST(FileManagerEntries, EachManagerOffersAnEntryExactlyForTheKindsSelected) {
    const std::string images = "Compress images…", videos = "Compress videos…", extract = "Extract audio…",
                      audio = "Compress audio…", pdfs = "Compress PDFs…", all = "Compress all…";
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> rows{
        {{"photo.png"}, {images, all}},
        {{"clip.mp4"}, {videos, extract, all}},
        {{"tone.wav"}, {audio, all}},
        {{"doc.pdf"}, {pdfs, all}},
        {{"notes.txt"}, {}},
        {{"archive.zip"}, {}},
        {{"photo.png", "clip.mp4", "tone.wav"}, {all}},
        {{"photo.png", "doc.pdf"}, {all}},
        {{"doc.pdf", "archive.zip"}, {}},
        {{"photo.png", "notes.txt"}, {}},
    };
    for (const auto& [selection, entries] : rows) {
        SCOPED_TRACE(selection.front() + " and " + std::to_string(selection.size() - 1) + " more");
        EXPECT_EQ(dolphinEntries(selection), entries);
        EXPECT_EQ(thunarEntries(selection), entries);
    }
}

// One URL a kind, printed in one launch; nothing fitted exits 1, a usage error 2.
TEST(QuillmorphOpen, SendsTheFilesThatFitEachAction) {
    const TemporaryDirectory folder;
    const auto path = [&](const std::string& name) { return (folder / name).string(); };
    const std::string oddName = "a b\nstill ünïcode ✓.png";
    mustRun({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=64x48:duration=1", "-frames:v", "1",
             path("photo.png")});
    mustRun({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=64x48:rate=10:duration=1",
             "-pix_fmt", "yuv420p", path("clip.mp4")});
    mustRun({"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine=duration=0.3", path("tone.wav")});
    mustRun({"img2pdf", path("photo.png"), "-o", path("doc.pdf")});
    writeFile(path("notes.txt"), "plain text\n");
    std::filesystem::create_directory(path("folder.png"));
    std::filesystem::copy_file(path("photo.png"), path(oddName));
    std::filesystem::copy_file(path("photo.png"), path("bad\xff.png"));

    const QuillmorphRequest images{.action = ActionKind::image, .paths = {path("photo.png"), path(oddName)}},
        videos{.action = ActionKind::video, .paths = {path("clip.mp4")}},
        audio{.action = ActionKind::audio, .paths = {path("tone.wav")}},
        pdfs{.action = ActionKind::pdf, .paths = {path("doc.pdf")}};
    const std::vector<std::string> everything{"photo.png",  "clip.mp4", "doc.pdf",  "notes.txt",
                                              "folder.png", oddName,    "tone.wav", "bad\xff.png"};
    const struct {
        std::vector<std::string> arguments;
        int exitCode;
        std::vector<QuillmorphRequest> requests;
    } cases[] = {
        {{"extractAudio"}, 0, {{.action = ActionKind::extractAudio, .paths = videos.paths}}},
        {{"all"}, 0, {images, videos, audio, pdfs}},
        {{"pdf", "notes.txt", "folder.png", "missing.pdf", "bad\xff.png"}, 1, {}},
        {{}, 2, {}},
        {{"Image", "photo.png"}, 2, {}},
    };
    for (const auto& [arguments, exitCode, expected] : cases) {
        SCOPED_TRACE(arguments.empty() ? "no action" : arguments.front());
        std::vector<std::string> command{"env", "QUILLMORPH_OPEN_PRINT=1", QUILLMORPH_OPEN};
        for (std::size_t index = 0; index < arguments.size(); ++index)
            command.push_back(index == 0 ? arguments[index] : path(arguments[index]));
        if (arguments.size() == 1)
            std::ranges::transform(everything, std::back_inserter(command), path);
        const testing::CommandResult result = runTool(command);
        EXPECT_EQ(result.exitCode, exitCode) << result.output;
        std::vector<QuillmorphRequest> requests;
        std::istringstream lines(result.output);
        for (std::string line; std::getline(lines, line);) {
            if (line.starts_with("quillmorph:")) // standard error comes along
                requests.push_back(RequestTransport::request(line).value_or(QuillmorphRequest{}));
        }
        EXPECT_EQ(requests, expected) << result.output;
    }
}

} // namespace
} // namespace quillmorph
