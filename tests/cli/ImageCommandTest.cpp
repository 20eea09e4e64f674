#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <tuple>
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
    const std::string script =
        streams == Streams::both ? R"(cd "$0" && exec "$@")" : R"(cd "$0" && exec "$@" 2>/dev/null)";
    std::vector<std::string> command{"sh",  "-c",       script,     directory.path().string(),
                                     "env", "LC_ALL=C", "LANGUAGE="};
    command.push_back("QUILLMORPH_CONFIG_DIR=" + (directory / ".config").string());
    command.insert(command.end(), {QUILLMORPH_CLI, "image"});
    command.insert(command.end(), arguments.begin(), arguments.end());
    return testing::runTool(command);
}

void addSources(const TemporaryDirectory& directory) {
    testing::mustRun({"vips", "gaussnoise", (directory / "photo.jpg").string(), "120", "80"});
    testing::mustRun({"vips", "black", (directory / "drawing.png").string(), "60", "40", "--bands", "4"});
    testing::writeFile(directory / "notes.jpg", "not an image\n");
}

// Each row runs in a fresh folder; usage errors print only to the error stream.
TEST(ImageCommand, ExitStatusOutputAndFilesWritten) {
    const std::string usage = "usage: quillmorph-cli image";
    using Strings = std::vector<std::string>;
    const std::vector<std::tuple<Strings, int, Strings, Strings>> rows{
        // Relative paths, beside the sources, in the first file's format; one failure fails the run.
        {{"--fit", "50x50", "photo.jpg", "notes.jpg", "drawing.png"},
         1,
         {"/photo.jpg \u2192 ", "/photo-converted.jpg, ", "notes.jpg: Could not read \u201Cnotes.jpg\u201D",
          "\nConverted: 2 files\n", "1 failed"},
         {"drawing-converted.jpg", "photo-converted.jpg"}},
        {{"--format", "webp", "drawing.png"},
         0,
         {"\nConverted: drawing-converted.webp\n"},
         {"drawing-converted.webp"}},
        {{"--estimate", "--format", "webp", "photo.jpg", "drawing.png"}, 0, {" bytes)"}, {}},
        {{"--estimate", "notes.jpg"}, 1, {"Could not read"}, {}},
        {{"--json", "--format", "png", "drawing.png", "notes.jpg"},
         1,
         {R"("output": null)", R"("outputBytes": 0)", R"("error": null)", R"(/drawing-converted.png",)",
          "\"error\": \"Could not read \u201Cnotes.jpg\u201D as an image.\""},
         {"drawing-converted.png"}},
        {{"--estimate", "--json", "photo.jpg"}, 0, {R"("estimatedBytes": )", R"("originalBytes": )"}, {}},
        {{}, 2, {usage}, {}},
        {{"--format", "gif", "photo.jpg"}, 2, {usage}, {}},
        {{"--quality", "1.5", "photo.jpg"}, 2, {usage}, {}},
        {{"--fit", "100", "photo.jpg"}, 2, {usage}, {}},
        {{"--fit", "100x100", "--exact", "50x50", "photo.jpg"}, 2, {usage}, {}},
        {{"--verbose", "photo.jpg"}, 2, {usage}, {}},
    };
    for (const auto& [arguments, exitCode, printed, expected] : rows) {
        SCOPED_TRACE(::testing::PrintToString(arguments));
        TemporaryDirectory directory;
        addSources(directory);
        const auto before = namesIn(directory.path());
        const testing::CommandResult result = runCli(directory, arguments);
        EXPECT_EQ(result.exitCode, exitCode) << result.output;
        for (const std::string& text : printed)
            EXPECT_NE(result.output.find(text), std::string::npos) << text << "\n" << result.output;
        std::vector<std::string> written;
        std::ranges::set_difference(namesIn(directory.path()), before, std::back_inserter(written));
        EXPECT_EQ(written, expected);
        EXPECT_TRUE(exitCode != 2 || runCli(directory, arguments, Streams::standardOutput).output.empty());
    }
    TemporaryDirectory directory;
    addSources(directory);
    runCli(directory, {"--exact", "30x20", "photo.jpg"});
    const std::string header =
        testing::runTool({"vipsheader", (directory / "photo-converted.jpg").string()}).output;
    EXPECT_NE(header.find(" 30x20 "), std::string::npos) << header;
}

} // namespace
} // namespace quillmorph
