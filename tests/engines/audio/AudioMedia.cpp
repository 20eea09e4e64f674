#include "AudioMedia.h"

#include "engines/video/FFmpegTool.h"
#include "tests/support/Tools.h"

#include <algorithm>
#include <cstdlib>
#include <nlohmann/json.hpp>

namespace quillmorph::testing {
namespace {

namespace fs = std::filesystem;

const std::string stereoTone = "aevalsrc=0.5*sin(440*2*PI*t)|0.5*sin(660*2*PI*t):s=48000:d=1";
const std::string monoTone = "sine=frequency=440:duration=1";
const std::string picture = "testsrc=size=64x48:rate=10:duration=1";

void ffmpeg(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"ffmpeg", "-nostdin", "-v", "error", "-y"});
    mustRun(arguments);
}

AudioMedia make(const fs::path& folder) {
    AudioMedia media{
        .flac24 = folder / "tone24.flac",
        .wav16 = folder / "tone16.wav",
        .wavFloat = folder / "toneFloat.wav",
        .wav32 = folder / "tone32.wav",
        .mp3Cover = folder / "song.mp3",
        .videoSound = folder / "clip.mp4",
        .videoSilent = folder / "silent.mp4",
        .text = folder / "notes.mp3",
    };
    ffmpeg({"-f", "lavfi", "-i", stereoTone, "-c:a", "flac", "-sample_fmt", "s32", "-bits_per_raw_sample",
            "24", media.flac24.string()});
    ffmpeg({"-f", "lavfi", "-i", monoTone, "-c:a", "pcm_s16le", media.wav16.string()});
    ffmpeg({"-f", "lavfi", "-i", monoTone, "-c:a", "pcm_f32le", media.wavFloat.string()});
    ffmpeg({"-f", "lavfi", "-i", monoTone, "-c:a", "pcm_s32le", media.wav32.string()});
    fs::path cover = folder / "cover.png";
    ffmpeg({"-f", "lavfi", "-i", "color=color=red:size=32x32", "-frames:v", "1", cover.string()});
    // A song with its cover as an attached picture and a title tag.
    std::vector<std::string> song{"-f",           "lavfi", "-i",  stereoTone, "-i",
                                  cover.string(), "-map",  "0:a", "-map",     "1:v"};
    song.insert(song.end(),
                {"-c:v", "copy", "-disposition:v", "attached_pic", "-c:a", "libmp3lame", "-b:a", "128k"});
    song.insert(song.end(),
                {"-id3v2_version", "3", "-metadata", "title=Quillmorph Test", media.mp3Cover.string()});
    ffmpeg(song);
    ffmpeg({"-f", "lavfi", "-i", picture, "-f", "lavfi", "-i", monoTone, "-c:v", "libx264", "-pix_fmt",
            "yuv420p", "-c:a", "aac", "-shortest", media.videoSound.string()});
    ffmpeg(
        {"-f", "lavfi", "-i", picture, "-c:v", "libx264", "-pix_fmt", "yuv420p", media.videoSilent.string()});
    writeFile(media.text, "These are notes, not music.\n");
    return media;
}

nlohmann::json probe(const fs::path& file, const std::vector<std::string>& selection) {
    std::vector<std::string> arguments{"ffprobe", "-v", "error"};
    arguments.insert(arguments.end(), selection.begin(), selection.end());
    arguments.insert(arguments.end(), {"-of", "json", file.string()});
    CommandResult result = runTool(arguments);
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return nlohmann::json::parse(result.output, nullptr, false);
}

std::string text(const nlohmann::json& object, const std::string& key) {
    return object.is_object() && object.contains(key) && object[key].is_string()
               ? object[key].get<std::string>()
               : "";
}

} // namespace

const AudioMedia& AudioMedia::shared() {
    static TemporaryDirectory folder;
    static const AudioMedia media = make(folder.path());
    return media;
}

void AudioTest::SetUp() {
    setenv("QUILLMORPH_CONFIG_DIR", m_config.path().c_str(), 1);
    FFmpegTool::setSearchFolders(std::nullopt);
}

void AudioTest::TearDown() {
    FFmpegTool::setSearchFolders(std::nullopt);
    unsetenv("QUILLMORPH_CONFIG_DIR");
}

fs::path AudioTest::copy(const fs::path& file) const {
    fs::path target = m_folder / file.filename();
    fs::copy_file(file, target);
    return target;
}

StreamFacts audioStream(const fs::path& file) {
    nlohmann::json report = probe(file, {"-select_streams", "a:0", "-show_entries",
                                         "stream=codec_name,channels,sample_fmt,bits_per_raw_sample"});
    if (!report.is_object() || !report.contains("streams") || report["streams"].empty())
        return {};
    const nlohmann::json& stream = report["streams"][0];
    return {.codec = text(stream, "codec_name"),
            .channels = stream.value("channels", 0),
            .sampleFormat = text(stream, "sample_fmt"),
            .bitsPerRawSample = text(stream, "bits_per_raw_sample")};
}

int pictureStreams(const fs::path& file) {
    nlohmann::json report = probe(file, {"-select_streams", "v", "-show_entries", "stream=index"});
    return report.is_object() && report.contains("streams") ? static_cast<int>(report["streams"].size()) : -1;
}

std::string tag(const fs::path& file, const std::string& name) {
    nlohmann::json report = probe(file, {"-show_entries", "format_tags:stream_tags"});
    std::vector<nlohmann::json> holders{report.value("format", nlohmann::json::object())};
    for (const auto& stream : report.value("streams", nlohmann::json::array()))
        holders.push_back(stream);
    for (const auto& holder : holders) {
        const nlohmann::json tags = holder.value("tags", nlohmann::json::object());
        for (const auto& [key, value] : tags.items()) {
            std::string lowered = key;
            std::ranges::transform(lowered, lowered.begin(), [](unsigned char c) { return std::tolower(c); });
            if (lowered == name && value.is_string())
                return value.get<std::string>();
        }
    }
    return "";
}

bool decodesCleanly(const fs::path& file) {
    CommandResult result =
        runTool({"ffmpeg", "-nostdin", "-v", "error", "-i", file.string(), "-f", "null", "-"});
    return result.exitCode == 0 && result.output.empty();
}

} // namespace quillmorph::testing
