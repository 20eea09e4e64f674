#include "Clips.h"

#include "tests/support/Tools.h"

#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace quillmorph::testing {
namespace {

namespace fs = std::filesystem;

struct Recipe {
    const char* name;
    std::vector<std::string> arguments; // between the common head and the output path
};

// The words of `line`, none of which holds a blank.
std::vector<std::string> words(const std::string& line) {
    std::istringstream stream(line);
    return {std::istream_iterator<std::string>(stream), std::istream_iterator<std::string>()};
}

Recipe recipe(Clip which) {
    switch (which) {
    case Clip::landscape:
        return {"landscape.mp4", words("-f lavfi -i testsrc2=size=1920x1080:rate=30:duration=1 -f lavfi -i "
                                       "sine=frequency=440:sample_rate=48000:duration=1 -ac 2 -c:v libx264 "
                                       "-preset ultrafast -pix_fmt yuv420p -c:a aac -shortest")};
    case Clip::rotated:
        return {"rotated.mp4", words("-f lavfi -i color=red:size=160x240:rate=10:duration=1 -f lavfi -i "
                                     "color=blue:size=160x240:rate=10:duration=1 -filter_complex "
                                     "[0][1]hstack,format=yuv420p -c:v libx264 -preset ultrafast")};
    case Clip::hdr:
        return {"hdr.mp4",
                words("-f lavfi -i testsrc2=size=160x90:rate=10:duration=0.5 -pix_fmt yuv420p10le "
                      "-c:v libx265 -preset ultrafast -x265-params log-level=error -color_primaries "
                      "bt2020 -color_trc smpte2084 -colorspace bt2020nc -tag:v hvc1")};
    case Clip::silent:
        return {"silent.mp4",
                words("-f lavfi -i testsrc2=size=320x240:rate=25:duration=2 -c:v libx264 -preset "
                      "ultrafast -pix_fmt yuv420p")};
    case Clip::colours:
        return {"colours.mp4", words("-f lavfi -i color=red:size=160x120:rate=10:duration=1 -f lavfi -i "
                                     "color=blue:size=160x120:rate=10:duration=1 -filter_complex "
                                     "[0][1]concat,format=yuv420p -c:v libx264 -preset ultrafast -g 100")};
    case Clip::toneOnly:
        return {"tone.m4a", words("-f lavfi -i sine=frequency=440:duration=1 -c:a aac")};
    }
    return {};
}

fs::path folder() {
    return QUILLMORPH_TEST_CLIPS;
}

// The display rotation is set on a stream copy: re-encoding would drop it.
void rotate(const fs::path& file) {
    fs::path rotated = fs::path(file).replace_extension(".rotating.mp4");
    mustRun({"ffmpeg", "-v", "error", "-nostdin", "-y", "-i", file.string(), "-c", "copy", "-metadata:s:v:0",
             "rotate=90", rotated.string()});
    fs::rename(rotated, file);
}

} // namespace

fs::path clip(Clip which) {
    Recipe made = recipe(which);
    fs::path target = folder() / made.name;
    if (fs::exists(target))
        return target;
    fs::create_directories(folder());
    // Made under a name of this process and renamed, so that test processes running at the same
    // time never see half a clip.
    fs::path partial = folder() / (std::to_string(getpid()) + "-" + made.name);
    std::vector<std::string> arguments{"ffmpeg", "-v", "error", "-nostdin", "-y"};
    arguments.insert(arguments.end(), made.arguments.begin(), made.arguments.end());
    arguments.push_back(partial.string());
    mustRun(arguments);
    if (which == Clip::rotated)
        rotate(partial);
    fs::rename(partial, target);
    return target;
}

fs::path copyClip(Clip which, const fs::path& folder, const std::string& name) {
    fs::copy_file(clip(which), folder / name);
    return folder / name;
}

} // namespace quillmorph::testing
