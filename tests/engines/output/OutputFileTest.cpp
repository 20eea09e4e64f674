#include "engines/output/OutputFile.h"

#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;
using testing::namesIn;
using testing::TemporaryDirectory;

std::vector<std::uint8_t> bytesOf(std::string_view text) {
    return {text.begin(), text.end()};
}

OutputFile makeOrFail(const fs::path& destination,
                      OutputFile::Creation creation = OutputFile::Creation::create) {
    auto file = OutputFile::make(destination, creation);
    if (!file)
        throw std::runtime_error("make failed: " + file.error().message());
    return std::move(*file);
}

TEST(OutputFile, CommitMovesTheWrittenBytesIntoPlace) {
    TemporaryDirectory directory;
    OutputFile file = makeOrFail(directory / "photo-converted.webp");
    const std::string temporary = file.temporaryPath().filename().string();
    EXPECT_EQ(file.temporaryPath().parent_path(), directory.path());
    EXPECT_TRUE(temporary.starts_with(".photo-converted.qm-")) << temporary;
    EXPECT_TRUE(temporary.ends_with(".webp")) << temporary;
    EXPECT_TRUE(fs::is_regular_file(file.temporaryPath()));

    ASSERT_FALSE(file.write(bytesOf("first attempt, longer")));
    ASSERT_FALSE(file.write(bytesOf("RIFF....WEBP")));
    auto landed = file.commit("-converted", "webp");
    ASSERT_TRUE(landed) << landed.error().message();
    EXPECT_EQ(*landed, directory / "photo-converted.webp");
    EXPECT_EQ(testing::readFile(*landed), "RIFF....WEBP");
    EXPECT_EQ(namesIn(directory.path()), std::vector<std::string>{"photo-converted.webp"});

    const mode_t mask = umask(0);
    umask(mask);
    struct stat status {};
    ASSERT_EQ(stat(landed->c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644 & ~mask);
}

TEST(OutputFile, CommitNeverReplacesAFileThatAppearedMeanwhile) {
    TemporaryDirectory directory;
    OutputFile file = makeOrFail(directory / "photo-converted.webp");
    ASSERT_FALSE(file.write(bytesOf("new")));
    testing::writeFile(directory / "photo-converted.webp", "someone else's");
    fs::create_directory(directory / "photo-converted-1.webp");

    auto landed = file.commit("-converted", "webp");
    ASSERT_TRUE(landed) << landed.error().message();
    EXPECT_EQ(*landed, directory / "photo-converted-2.webp");
    EXPECT_EQ(testing::readFile(*landed), "new");
    EXPECT_EQ(testing::readFile(directory / "photo-converted.webp"), "someone else's");
}

TEST(OutputFile, AnUncommittedFileRemovesItself) {
    TemporaryDirectory directory;
    fs::path temporary;
    {
        OutputFile file = makeOrFail(directory / "report-compressed.pdf");
        ASSERT_FALSE(file.write(bytesOf("%PDF-1.4 partial")));
        OutputFile moved = std::move(file);
        temporary = moved.temporaryPath();
        EXPECT_TRUE(fs::exists(temporary));
    }
    EXPECT_FALSE(fs::exists(temporary));
    EXPECT_TRUE(namesIn(directory.path()).empty());
}

TEST(OutputFile, AReservedNameIsFreeForAChildProcessToCreateAndCommitsOnlyOnceCreated) {
    TemporaryDirectory directory;
    {
        OutputFile never = makeOrFail(directory / "song-converted.mp3", OutputFile::Creation::reserveName);
        auto landed = never.commit("-converted", "mp3");
        ASSERT_FALSE(landed);
        EXPECT_EQ(landed.error(), std::errc::no_such_file_or_directory);
    }
    EXPECT_TRUE(namesIn(directory.path()).empty());

    OutputFile file = makeOrFail(directory / "song-converted.mp3", OutputFile::Creation::reserveName);
    EXPECT_FALSE(fs::exists(file.temporaryPath()));
    EXPECT_TRUE(file.temporaryPath().filename().string().ends_with(".mp3"));
    testing::writeFile(file.temporaryPath(), "ID3 audio");
    auto landed = file.commit("-converted", "mp3");
    ASSERT_TRUE(landed) << landed.error().message();
    EXPECT_EQ(testing::readFile(*landed), "ID3 audio");
    EXPECT_EQ(namesIn(directory.path()), std::vector<std::string>{"song-converted.mp3"});
}

// Root ignores permission bits, so unwritable places are ones no permission makes writable.
TEST(OutputFile, AnUnusableFolderFailsAtOnce) {
    TemporaryDirectory directory;
    testing::writeFile(directory / "plain-file", "not a folder");
    struct Row {
        fs::path destination;
        std::errc expected;
    };
    const Row rows[] = {
        {directory / "plain-file" / "photo-converted.webp", std::errc::not_a_directory},
        {directory / "missing" / "photo-converted.webp", std::errc::no_such_file_or_directory},
    };
    for (auto creation : {OutputFile::Creation::create, OutputFile::Creation::reserveName}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.destination.string());
            auto file = OutputFile::make(row.destination, creation);
            ASSERT_FALSE(file);
            EXPECT_EQ(file.error(), row.expected);
        }
    }
    EXPECT_FALSE(OutputFile::make("/proc/photo-converted.webp"));
    EXPECT_EQ(namesIn(directory.path()), std::vector<std::string>{"plain-file"});
}

} // namespace
} // namespace quillmorph
