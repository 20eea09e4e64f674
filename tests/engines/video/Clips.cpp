#include "Clips.h"

#include "tests/support/Tools.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace quillmorph::testing {
namespace {

namespace fs = std::filesystem;

struct Recipe {
    const char* name;
    std::string arguments; // between the common head and the output path, split at blanks
    std::string then;      // a stream copy applied afterwards (for what re-encoding would drop)
};

const std::string sine = " -f lavfi -i sine=frequency=440:sample_rate=48000:duration=1 ";
const std::string x264 = " -c:v libx264 -preset ultrafast -pix_fmt yuv420p ";
const std::string small = "-f lavfi -i testsrc2=size=160x90:rate=10:duration=0.5";
const std::string hevc10 = small +
                           " -pix_fmt yuv420p10le -c:v libx265 -preset ultrafast -x265-params "
                           "log-level=error -tag:v hvc1 -color_primaries bt2020 -colorspace bt2020nc ";
const std::string picture = "-f lavfi -i testsrc2=size=160x120:rate=10:duration=1";

// In the order of Clip.
const Recipe recipes[] = {
    {"phone60.mp4",
     "-f lavfi -i testsrc2=size=320x180:rate=60:duration=1" + sine + "-ac 2" + x264 + "-c:a aac"},
    {"rotated.mp4",
     "-f lavfi -i color=red:size=160x240:rate=10:duration=1 -f lavfi -i "
     "color=blue:size=160x240:rate=10:duration=1 -filter_complex [0][1]hstack,format=yuv420p" +
         x264,
     "-metadata:s:v:0 rotate=90"},
    {"pq.mp4", hevc10 + "-color_trc smpte2084"},
    {"hlg.mp4", hevc10 + "-color_trc arib-std-b67"},
    {"bt2020-sdr.mp4", small + x264 + "-color_primaries bt2020 -color_trc bt709"},
    {"bt2020-untagged.mp4", small + x264 + "-color_primaries bt2020"},
    {"colours.mp4", "-f lavfi -i color=red:size=160x120:rate=10:duration=1 -f lavfi -i "
                    "color=blue:size=160x120:rate=10:duration=1 -filter_complex "
                    "[0][1]concat,format=yuv420p -g 100" +
                        x264},
    {"damaged-audio.mp4", picture + sine + x264 + "-c:a aac", "-bsf:a noise=amount=50"},
    {"clip.webm", picture + sine + "-c:v libvpx-vp9 -deadline realtime -c:a libopus"},
    {"film.ac3", "-f lavfi -i sine=duration=1 -af aformat=channel_layouts=5.1(side) -c:a ac3"},
    {"surround.flac", "-f lavfi -i sine=duration=1 -af aformat=channel_layouts=7.1 -c:a flac"},
    {"theora.ogg", picture + sine + "-c:v libtheora -c:a libvorbis"},
    {"video.m4a", picture + sine + x264 + "-c:a aac"},
    {"song.m4a", sine +
                     "-f lavfi -i color=red:size=32x32:duration=0.1 -frames:v 1 -map 0:a -map 1:v -c:v png "
                     "-disposition:v attached_pic -c:a aac -metadata title=Quillmorph"},
    {"tone24.flac", "-f lavfi -i aevalsrc=0.5*sin(440*2*PI*t)|0.5*sin(660*2*PI*t):s=48000:d=1 "
                    "-c:a flac -sample_fmt s32 -bits_per_raw_sample 24"},
    {"tone32.wav", "-f lavfi -i sine=frequency=440:duration=1 -c:a pcm_s32le"},
};

void ffmpeg(const std::string& arguments, const fs::path& output) {
    std::vector<std::string> line{"ffmpeg", "-v", "error", "-nostdin", "-y"};
    std::istringstream words(arguments);
    line.insert(line.end(), std::istream_iterator<std::string>(words), std::istream_iterator<std::string>());
    line.push_back(output.string());
    mustRun(line);
}

std::array<double, 3> pixel(const std::string& rgb, std::size_t at) {
    return {double(std::uint8_t(rgb[at])), double(std::uint8_t(rgb[at + 1])),
            double(std::uint8_t(rgb[at + 2]))};
}

std::string text(const nlohmann::json& object, const char* key) {
    auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : "";
}

std::string described(const nlohmann::json& stream) {
    std::string codec = text(stream, "codec_name");
    if (stream.value("disposition", nlohmann::json::object()).value("attached_pic", 0) == 1)
        return "cover " + codec;
    if (text(stream, "codec_type") == "audio") {
        std::string bits = text(stream, "bits_per_raw_sample");
        std::string layout = text(stream, "channel_layout");
        layout = layout.empty() ? std::to_string(stream.value("channels", 0)) + " channels" : layout;
        return codec + " " + layout + (bits.empty() ? "" : " " + bits + "bit");
    }
    // ffprobe writes every rate as a fraction, "60/1".
    std::string rate = text(stream, "r_frame_rate");
    double denominator = std::max(std::atof(rate.c_str() + rate.find('/') + 1), 1e-9);
    std::string transfer = text(stream, "color_transfer");
    return codec + " " + std::to_string(stream.value("width", 0)) + "x" +
           std::to_string(stream.value("height", 0)) + " " +
           std::to_string(std::lround(std::atof(rate.c_str()) / denominator)) + "fps" +
           (transfer.empty() || transfer == "unknown" ? "" : " " + transfer);
}

} // namespace

fs::path clip(Clip which) {
    const Recipe& made = recipes[int(which)];
    fs::path folder = QUILLMORPH_TEST_CLIPS;
    fs::path target = folder / made.name;
    if (fs::exists(target))
        return target;
    fs::create_directories(folder);
    // Made under this process's name and renamed, so that concurrent test processes never see half a clip.
    fs::path partial = folder / (std::to_string(getpid()) + "-" + made.name);
    ffmpeg(made.arguments, partial);
    if (!made.then.empty()) {
        fs::path copied = folder / (std::to_string(getpid()) + "-copy-" + made.name);
        ffmpeg("-i " + partial.string() + " -c copy " + made.then, copied);
        fs::rename(copied, partial);
    }
    fs::rename(partial, target);
    return target;
}

fs::path copyClip(Clip which, const fs::path& folder, const std::string& name) {
    fs::copy_file(clip(which), folder / name);
    return folder / name;
}

std::string streams(const fs::path& file) {
    CommandResult probed =
        runTool({"ffprobe", "-v", "error", "-show_streams", "-show_format", "-of", "json", file.string()});
    nlohmann::json report = nlohmann::json::parse(probed.output, nullptr, false);
    if (probed.exitCode != 0 || !report.is_object())
        return "unreadable";
    std::string all;
    std::string title;
    // Ogg keeps its tags on the stream, the others on the container; keys differ in case.
    std::vector<nlohmann::json> tagged{report.value("format", nlohmann::json::object())};
    for (const nlohmann::json& stream : report.value("streams", nlohmann::json::array())) {
        all += (all.empty() ? "" : ", ") + described(stream);
        tagged.push_back(stream);
    }
    for (const nlohmann::json& holder : tagged)
        for (const char* key : {"title", "TITLE"})
            title = title.empty() ? text(holder.value("tags", nlohmann::json::object()), key) : title;
    return title.empty() ? all : all + ", title " + title;
}

std::string FramePixels::colourAt(int x, int y) const {
    std::size_t offset = (std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3;
    if (offset + 2 >= rgb.size())
        return "outside";
    auto [r, g, b] = pixel(rgb, offset);
    return r > 200 && g < 60 && b < 60 ? "red" : r < 60 && g < 60 && b > 200 ? "blue" : "other";
}

std::array<double, 2> FramePixels::brightnessAndSaturation() const {
    std::array<double, 2> sums{};
    for (std::size_t offset = 0; offset + 2 < rgb.size(); offset += 3) {
        std::array<double, 3> colour = pixel(rgb, offset);
        auto [low, high] = std::ranges::minmax(colour);
        sums[0] += (colour[0] + colour[1] + colour[2]) / 3;
        sums[1] += high == 0 ? 0 : 255 * (high - low) / high;
    }
    double pixels = std::max(double(rgb.size() / 3), 1.0);
    return {sums[0] / pixels, sums[1] / pixels};
}

FramePixels firstFrame(const std::filesystem::path& file) {
    CommandResult decoded = runTool({"ffmpeg", "-v", "error", "-nostdin", "-i", file.string(), "-frames:v",
                                     "1", "-c:v", "ppm", "-f", "image2pipe", "-"});
    FramePixels frame;
    std::istringstream header(decoded.output);
    std::string magic;
    int depth = 0;
    header >> magic >> frame.width >> frame.height >> depth;
    frame.rgb =
        decoded.output.substr(std::min<std::size_t>(std::size_t(header.tellg()) + 1, decoded.output.size()));
    return frame;
}

} // namespace quillmorph::testing
