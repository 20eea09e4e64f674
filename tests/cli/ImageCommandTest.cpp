#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;
using testing::namesIn;
using testing::TemporaryDirectory;

enum class Streams { both, standardOutput };

// Runs quillmorph-cli in `directory` with the English texts and no stored preferences.
testing::CommandResult runCli(const TemporaryDirectory& directory, std::vector<std::string> arguments,
                              Streams streams = Streams::both) {
    const std::string script = streams == Streams::both ? R"(cd "$1" && shift && exec "$@")"
                                                        : R"(cd "$1" && shift && exec "$@" 2>/dev/null)";
    std::vector<std::string> command{"sh",
                                     "-c",
                                     script,
                                     "sh",
                                     directory.path().string(),
                                     "env",
                                     "LC_ALL=C",
                                     "LANGUAGE=",
                                     "QUILLMORPH_CONFIG_DIR=" + (directory / ".config").string(),
                                     QUILLMORPH_CLI,
                                     "image"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return testing::runTool(command);
}

class ImageCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::mustRun({"vips", "gaussnoise", (directory / "photo.jpg").string(), "120", "80"});
        testing::mustRun({"vips", "black", (directory / "drawing.png").string(), "60", "40", "--bands", "4"});
        testing::writeFile(directory / "notes.jpg", "not an image\n");
    }

    TemporaryDirectory directory;
};

TEST_F(ImageCommand, ConvertsRelativePathsBesideTheSourcesInTheFirstFilesFormat) {
    testing::CommandResult result = runCli(directory, {"photo.jpg", "drawing.png"});

    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(namesIn(directory.path()),
              (std::vector<std::string>{"drawing-converted.jpg", "drawing.png", "notes.jpg",
                                        "photo-converted.jpg", "photo.jpg"}));
    const std::string photo = (directory / "photo.jpg").string();
    EXPECT_NE(result.output.find(photo + " \u2192 " + (directory / "photo-converted.jpg").string() + ", "),
              std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("\nConverted: 2 files\n"), std::string::npos) << result.output;
}

TEST_F(ImageCommand, FailsWithExitOneWhenAnyFileFails) {
    testing::CommandResult result =
        runCli(directory, {"--format", "webp", "--fit", "50x50", "drawing.png", "notes.jpg"});

    EXPECT_EQ(result.exitCode, 1) << result.output;
    EXPECT_NE(
        result.output.find((directory / "notes.jpg").string() + ": Could not read \u201Cnotes.jpg\u201D"),
        std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("\nConverted: drawing-converted.webp\n"), std::string::npos)
        << result.output;
    EXPECT_NE(result.output.find("1 failed"), std::string::npos) << result.output;
    testing::CommandResult width =
        testing::runTool({"vipsheader", "-f", "width", (directory / "drawing-converted.webp").string()});
    EXPECT_EQ(width.output, "50\n");
    EXPECT_FALSE(fs::exists(directory / "notes-converted.webp"));
}

TEST_F(ImageCommand, RejectsBadUsageWithExitTwoWritingNothing) {
    const std::vector<std::vector<std::string>> rows = {
        {},
        {"--format", "gif", "photo.jpg"},
        {"--quality", "1.5", "photo.jpg"},
        {"--fit", "100", "photo.jpg"},
        {"--fit", "100x100", "--exact", "50x50", "photo.jpg"},
        {"--verbose", "photo.jpg"},
    };
    const auto before = namesIn(directory.path());
    for (const auto& arguments : rows) {
        std::string joined;
        for (const auto& argument : arguments)
            joined += argument + " ";
        SCOPED_TRACE(joined);
        testing::CommandResult result = runCli(directory, arguments);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_NE(result.output.find("usage: quillmorph-cli image"), std::string::npos) << result.output;
        EXPECT_TRUE(runCli(directory, arguments, Streams::standardOutput).output.empty());
    }
    EXPECT_EQ(namesIn(directory.path()), before);
}

TEST_F(ImageCommand, PrintsOutcomesAsJson) {
    testing::CommandResult result =
        runCli(directory, {"--json", "--format", "png", "drawing.png", "notes.jpg"}, Streams::standardOutput);

    EXPECT_EQ(result.exitCode, 1);
    const nlohmann::json outcomes = nlohmann::json::parse(result.output);
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[0]["source"], (directory / "drawing.png").string());
    EXPECT_EQ(outcomes[0]["output"], (directory / "drawing-converted.png").string());
    EXPECT_EQ(outcomes[0]["originalBytes"], fs::file_size(directory / "drawing.png"));
    EXPECT_EQ(outcomes[0]["outputBytes"], fs::file_size(directory / "drawing-converted.png"));
    EXPECT_TRUE(outcomes[0]["error"].is_null());
    EXPECT_EQ(outcomes[1]["source"], (directory / "notes.jpg").string());
    EXPECT_TRUE(outcomes[1]["output"].is_null());
    EXPECT_EQ(outcomes[1]["outputBytes"], 0);
    EXPECT_EQ(outcomes[1]["error"], "Could not read \u201Cnotes.jpg\u201D as an image.");
}

TEST_F(ImageCommand, EstimateWritesNothing) {
    const auto before = namesIn(directory.path());

    testing::CommandResult plain =
        runCli(directory, {"--estimate", "--format", "webp", "photo.jpg", "drawing.png"});
    testing::CommandResult json =
        runCli(directory, {"--estimate", "--json", "--format", "webp", "photo.jpg", "drawing.png"},
               Streams::standardOutput);

    EXPECT_EQ(plain.exitCode, 0) << plain.output;
    EXPECT_NE(plain.output.find(" bytes)"), std::string::npos) << plain.output;
    ASSERT_EQ(json.exitCode, 0) << json.output;
    const nlohmann::json estimate = nlohmann::json::parse(json.output);
    EXPECT_EQ(estimate["originalBytes"],
              fs::file_size(directory / "photo.jpg") + fs::file_size(directory / "drawing.png"));
    EXPECT_GT(estimate["estimatedBytes"].get<std::int64_t>(), 0);
    EXPECT_EQ(namesIn(directory.path()), before);

    testing::CommandResult unreadable = runCli(directory, {"--estimate", "notes.jpg"});
    EXPECT_EQ(unreadable.exitCode, 1) << unreadable.output;
    EXPECT_EQ(namesIn(directory.path()), before);
}

} // namespace
} // namespace quillmorph
