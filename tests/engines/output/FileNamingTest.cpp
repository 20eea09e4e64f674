#include "engines/output/FileNaming.h"

#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryDirectory;

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
        // Counters of any script are stripped.
        {"photo-converted-\uFF11\uFF12.webp", {}, "photo-converted.jpg", "jpg"},
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
        {"photo-converted-09", "photo"},
        {"photo-converted-:", "photo-converted-:"},
        {"photo-converted-12a", "photo-converted-12a"},
        {"photo-converted-\u0663\u0664", "photo"},            // Arabic-Indic 34
        {"photo-converted-\uFF1A", "photo-converted-\uFF1A"}, // fullwidth colon
        {"photo-converted-1\u00BD", "photo"},                 // 1½
        {"photo-converted-\u2160", "photo"},                  // Roman numeral one
        {"photo-converted-\u4E09", "photo"},                  // Han numeral three
        {"photo-converted-\u4E0A", "photo-converted-\u4E0A"}, // Han "above"
        {"photo-converted-\U0001D7CE", "photo"},              // bold digit zero
        {"photo-converted-\U0010FFFF", "photo-converted-\U0010FFFF"},
        // Malformed UTF-8: cut off, overlong '0', surrogate, stray continuation byte.
        {"photo-converted-\xC2", "photo-converted-\xC2"},
        {"photo-converted-\xC0\xB0", "photo-converted-\xC0\xB0"},
        {"photo-converted-\xED\xA0\x80", "photo-converted-\xED\xA0\x80"},
        {"photo-converted-\xB0", "photo-converted-\xB0"},
    };
    for (const auto& [name, expected] : rows)
        EXPECT_EQ(FileNaming::stripping("-converted", name), expected) << name;
}

TEST(FileNaming, ByteCountIsTheRegularFileSizeOrZero) {
    TemporaryDirectory directory;
    testing::writeFile(directory / "data.bin", std::string(1234, 'q'));
    fs::create_directory(directory / "folder");
    fs::create_symlink(directory / "data.bin", directory / "link.bin");
    for (const auto& [name, bytes] : {std::pair{"data.bin", 1234},
                                      {"link.bin", 1234},
                                      {"folder", 0},
                                      {"missing.bin", 0},
                                      {"data.bin/below-a-file", 0}})
        EXPECT_EQ(FileNaming::byteCount(directory / name), bytes) << name;
}

} // namespace
} // namespace quillmorph
