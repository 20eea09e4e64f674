#include "common/UTF8.h"
#include "engines/output/FileNaming.h"
#include "engines/output/OutputFile.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;
using testing::namesIn;
using testing::TemporaryDirectory;

std::vector<std::uint8_t> bytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}

TEST(OutputFile, CommitMovesTheWrittenBytesIntoPlace) {
    // 255 bytes, the most a name may have; cutting the temporary's at byte 240 would split an "é".
    std::string longStem = "x";
    for (int index = 0; index < 125; ++index)
        longStem += "\u00e9";
    for (const std::string& name : {std::string("photo-converted.webp"), longStem + ".png"}) {
        SCOPED_TRACE(name);
        TemporaryDirectory directory;
        OutputFile file = OutputFile::make(directory / name).value();
        const std::string temporary = file.temporaryPath().filename().string();
        EXPECT_EQ(file.temporaryPath().parent_path(), directory.path());
        EXPECT_TRUE(temporary.starts_with("." + name.substr(0, 10)) &&
                    temporary.find(".qm-") != std::string::npos &&
                    temporary.ends_with(fs::path(name).extension().string()))
            << temporary;
        EXPECT_LE(temporary.size(), 255u);
        EXPECT_TRUE(isValidUTF8(temporary));
        ASSERT_FALSE(file.write(bytesOf("first attempt, longer")));
        ASSERT_FALSE(file.write(bytesOf("RIFF....WEBP")));
        ASSERT_EQ(file.commit("-converted", fs::path(name).extension().string().substr(1)), directory / name);
        EXPECT_EQ(testing::readFile(directory / name), "RIFF....WEBP");
        EXPECT_EQ(namesIn(directory.path()), std::vector<std::string>{name});
        const mode_t mask = umask(0);
        umask(mask);
        EXPECT_EQ(fs::status(directory / name).permissions(), fs::perms(0644 & ~mask));
    }
}

TEST(OutputFile, CommitNeverReplacesAFileThatAppearedMeanwhile) {
    TemporaryDirectory directory;
    OutputFile file = OutputFile::make(directory / "photo-converted.webp").value();
    ASSERT_FALSE(file.write(bytesOf("new")));
    testing::writeFile(directory / "photo-converted.webp", "someone else's");
    fs::create_directory(directory / "photo-converted-1.webp");
    ASSERT_EQ(file.commit("-converted", "webp"), directory / "photo-converted-2.webp");
    EXPECT_EQ(testing::readFile(directory / "photo-converted-2.webp"), "new");
    EXPECT_EQ(testing::readFile(directory / "photo-converted.webp"), "someone else's");
}

// A process that dies leaves its temporary unlocked; a live one holds it locked. Names of other
// shapes, and reserved names a child process writes, are never taken for abandoned.
TEST(OutputFile, TemporariesWhoseOwnerIsGoneAreRemovedBesideTheNextOutput) {
    TemporaryDirectory directory;
    std::vector<std::string> expected{".clip-converted.qm-Q2w9Zr.mp4", ".notes.qm-draft.txt",
                                      ".qm-abcdef.jpg"};
    for (const std::string& name : expected)
        testing::writeFile(directory / name, "another process's, or a user's own");
    for (const char* name : {".photo-converted.qm-k3Xz9a.webp", "..qm-a1b2c3"})
        testing::writeFile(directory / name, "left by a killed process");
    const int held = open((directory / expected[0]).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    OutputFile reserved =
        OutputFile::make(directory / "song-converted.mp3", OutputFile::Creation::reserveName).value();
    testing::writeFile(reserved.temporaryPath(), "written by a child process");
    OutputFile mine = OutputFile::make(directory / "a-converted.png").value();
    OutputFile next = OutputFile::make(directory / "a-converted.png").value();
    for (const OutputFile* file : {&reserved, &mine, &next})
        expected.push_back(file->temporaryPath().filename().string());
    std::ranges::sort(expected);
    EXPECT_EQ(namesIn(directory.path()), expected);
    const int probe = open(mine.temporaryPath().c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_NE(flock(probe, LOCK_EX | LOCK_NB), 0) << "a live temporary is locked";
    close(probe);
    close(held);
}

// Root ignores permission bits, so unwritable places are ones no permission makes writable.
TEST(OutputFile, FailuresLeaveNothingBehind) {
    TemporaryDirectory directory;
    testing::writeFile(directory / "plain-file", "not a folder");
    {
        OutputFile file = OutputFile::make(directory / "report-compressed.pdf").value();
        ASSERT_FALSE(file.write(bytesOf("%PDF-1.4 partial")));
        const OutputFile moved = std::move(file);
        EXPECT_TRUE(fs::exists(moved.temporaryPath()));
        // A reserved name that nothing created cannot land.
        OutputFile never =
            OutputFile::make(directory / "song-converted.mp3", OutputFile::Creation::reserveName).value();
        EXPECT_FALSE(fs::exists(never.temporaryPath()));
        EXPECT_EQ(never.commit("-converted", "mp3").error(), std::errc::no_such_file_or_directory);
    }
    for (const auto creation : {OutputFile::Creation::create, OutputFile::Creation::reserveName}) {
        for (const auto& [destination, error] :
             {std::pair{directory / "plain-file" / "photo-converted.webp", std::errc::not_a_directory},
              {directory / "missing" / "photo-converted.webp", std::errc::no_such_file_or_directory}}) {
            SCOPED_TRACE(destination.string());
            const auto made = OutputFile::make(destination, creation);
            ASSERT_FALSE(made);
            EXPECT_EQ(made.error(), error);
        }
    }
    EXPECT_FALSE(OutputFile::make("/proc/photo-converted.webp"));
    EXPECT_EQ(namesIn(directory.path()), std::vector<std::string>{"plain-file"});
}

// Naming ends for every input, a NUL or a dangling link in the way included.
TEST(FileNaming, DestinationNamesBesideTheSource) {
    struct Row {
        std::string source;
        std::vector<std::string> taken; // "link:" marks a dangling symbolic link
        std::string expected;
        std::string extension = "webp";
        std::string suffix = "-converted";
    };
    const std::vector<Row> rows = {
        {"photo.jpg", {}, "photo-converted.webp"},
        // The lowest free counter, even below a taken one.
        {"photo.jpg", {"photo-converted.webp", "photo-converted-2.webp"}, "photo-converted-1.webp"},
        // Only the same extension collides.
        {"photo.jpg", {"photo-converted.png"}, "photo-converted.webp"},
        {"icon@2x.png", {"icon-converted@2x.webp"}, "icon-converted-1@2x.webp"},
        {"icon-converted-1@2x.webp", {}, "icon-converted@2x.png", "png"},
        {"icon@4x.png", {}, "icon@4x-converted.webp"},
        {"report-compressed.pdf", {"report-compressed.pdf"}, "report-compressed-1.pdf", "pdf", "-compressed"},
        {"archive.tar.gz", {}, "archive.tar-converted.webp"},
        {"photo.jpg", {"link:photo-converted.webp"}, "photo-converted-1.webp"},
        {"写真-converted-3.heic", {}, "写真-converted.jpg", "jpg"},
        // The system sees only "photo.jpg", which exists.
        {std::string("photo.jpg\0.png", 14), {"photo.jpg"}, std::string("photo.jpg\0-converted.webp", 25)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.source + " " + row.suffix + " " + row.extension);
        TemporaryDirectory directory;
        for (const std::string& taken : row.taken) {
            if (taken.starts_with("link:"))
                fs::create_symlink(directory / "nowhere", directory / taken.substr(5));
            else
                testing::writeFile(directory / taken, "x");
        }
        EXPECT_EQ(FileNaming::destination(directory / row.source, row.suffix, row.extension),
                  directory / row.expected);
    }
}

// A counter is any well-formed run of Unicode numeric characters, of any script.
TEST(FileNaming, StrippingRemovesOnlyAnEarlierRunsSuffixAndCounter) {
    EXPECT_EQ(FileNaming::stripping("", "photo-converted-1"), "photo-converted-1");
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"photo-converted-12", "photo"},
        {"photo-12", "photo-12"},
        {"photo-converted-1-2", "photo-converted-1-2"},
        {"photo-converted-", "photo-converted-"},
        {"-converted", ""},
        {"photo-converted-:", "photo-converted-:"},
        {"photo-converted-12a", "photo-converted-12a"},
        {"photo-converted-\u0663\u0664", "photo"},            // Arabic-Indic 34
        {"photo-converted-\uFF1A", "photo-converted-\uFF1A"}, // fullwidth colon
        {"photo-converted-\u4E09", "photo"},                  // Han numeral three
        {"photo-converted-\U0001D7CE", "photo"},              // bold digit zero
        {"photo-converted-\U0010FFFF", "photo-converted-\U0010FFFF"},
        // Malformed UTF-8: cut off, overlong '0', surrogate.
        {"photo-converted-\xC2", "photo-converted-\xC2"},
        {"photo-converted-\xC0\xB0", "photo-converted-\xC0\xB0"},
        {"photo-converted-\xED\xA0\x80", "photo-converted-\xED\xA0\x80"},
    };
    for (const auto& [name, expected] : rows)
        EXPECT_EQ(FileNaming::stripping("-converted", name), expected) << name;
}

} // namespace
} // namespace quillmorph
