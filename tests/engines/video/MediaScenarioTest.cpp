#include "common/Localization.h"
#include "engines/audio/AudioEngine.h"
#include "engines/batch/BatchRunner.h"
#include "engines/video/FFmpegTool.h"
#include "engines/video/NativeVideoEngine.h"
#include "engines/video/PosterFrame.h"
#include "engines/video/VideoBatch.h"
#include "engines/video/VideoEncoder.h"
#include "tests/engines/video/Clips.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/Tools.h"

#include <algorithm>
#include <clocale>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;
using testing::Clip;

using Input = std::function<fs::path(const fs::path& folder)>;
// What a pipeline made of the input: the output's streams as ffprobe sees them, or the error.
using Command = std::function<std::string(const fs::path& input)>;

Input copyOf(Clip which) {
    return [which](const fs::path& folder) {
        return testing::copyClip(which, folder, testing::clip(which).filename());
    };
}

Input named(const char* name, const char* contents) {
    return [name, contents](const fs::path& folder) {
        testing::writeFile(folder / name, contents);
        return folder / name;
    };
}

// Reading a FIFO waits for a writer for ever.
Input fifo(const char* name) {
    return [name](const fs::path& folder) {
        EXPECT_EQ(mkfifo((folder / name).c_str(), 0600), 0);
        return folder / name;
    };
}

std::string described(const JobOutcome& outcome) {
    return outcome.output ? testing::streams(*outcome.output) : outcome.error.value_or("");
}

enum class Engine { ffmpeg, inProcess };

Command video(VideoSettings settings, Engine engine = Engine::ffmpeg) {
    return [settings, engine](const fs::path& input) {
        VideoBatch batch =
            engine == Engine::ffmpeg
                ? VideoBatch([] { return std::make_unique<VideoEncoder>(); }, FFmpegTool::probe)
                : VideoBatch([] { return std::make_unique<NativeVideoEngine>(); }, NativeVideoEngine::probe);
        std::vector<double> fractions;
        auto outcomes = batch.run(
            {input}, settings,
            [&](std::size_t, std::size_t, std::optional<double> fraction, const std::string&) {
                if (fraction)
                    fractions.push_back(*fraction);
            },
            testing::inlineExecutor);
        EXPECT_TRUE(std::ranges::is_sorted(fractions));
        if (outcomes.front().output) {
            std::string bytes = testing::readFile(*outcomes.front().output);
            EXPECT_TRUE(settings.container == VideoContainer::webm || bytes.find("moov") < bytes.find("mdat"))
                << "an MP4's index comes first";
        }
        return described(outcomes.front());
    };
}

// Uncompressed outputs also check the panel's estimate against the real size.
Command audio(AudioSettings settings, AudioOrigin origin = AudioOrigin::audioFiles) {
    return [settings, origin](const fs::path& input) {
        JobOutcome outcome = BatchRunner::runAudio({input}, settings, origin, {}, {}).front();
        if (outcome.output && (settings.format == AudioFormat::wav || settings.format == AudioFormat::aiff)) {
            EXPECT_NEAR(double(settings.estimatedBytes(*AudioEngine::inspect(input))),
                        double(outcome.outputBytes), 0.01 * double(outcome.outputBytes));
        }
        return described(outcome);
    };
}

// Every format, one after the other: "mp3 stereo | aac 5.1 | …".
Command everyFormat() {
    return [](const fs::path& input) {
        std::string texts;
        for (AudioFormat format : allCases<AudioFormat>())
            texts += (texts.empty() ? "" : " | ") + audio(AudioSettings{}.withFormat(format))(input);
        return texts;
    };
}

Command poster() {
    return [](const fs::path& input) {
        auto made = PosterFrame::make({input}, 0, 1);
        return made ? testing::streams(made->front()) : describe(made.error());
    };
}

// The in-process probe and ffprobe read the same facts: one text when they agree.
Command probes() {
    return [](const fs::path& input) {
        std::vector<std::string> texts;
        for (auto probe : {FFmpegTool::probe, NativeVideoEngine::probe}) {
            auto info = probe(input);
            texts.push_back(!info ? describe(info.error())
                                  : std::to_string(info->width) + "x" + std::to_string(info->height) +
                                        (info->isHDR ? " HDR" : "") + (info->hasAudio ? " audio" : ""));
        }
        return texts[0] == texts[1] ? texts[0] : texts[0] + " | in-process: " + texts[1];
    };
}

// Brightness and saturation of the first frame, to within a sixth of a clip that looks right.
void expectLooksLike(const fs::path& output, Clip reference) {
    testing::FramePixels made = testing::firstFrame(output, 0, 0);
    testing::FramePixels expected = testing::firstFrame(testing::clip(reference), 0, 0);
    EXPECT_NEAR(made.meanBrightness(), expected.meanBrightness(), expected.meanBrightness() / 6);
    EXPECT_NEAR(made.meanSaturation(), expected.meanSaturation(), expected.meanSaturation() / 6);
}

// Real media in, a pipeline run on it as the application runs it, and what comes out; no hidden
// temporary is left behind.
TEST(MediaScenarios, WhatComesOut) {
    Localization::setLanguage("en");
    // Numbers under the environment's locale, as Qt sets it: the suite runs under a decimal comma.
    std::setlocale(LC_NUMERIC, "");
    const VideoSettings web720{
        .sizing = FrameSizing::fit(1280, 720), .videoBitrate = 2000, .frameRateCap = 30};
    const VideoSettings native{
        .sizing = FrameSizing::fit(640, 640), .videoBitrate = 1000, .frameRateCap = 24};
    const VideoSettings hevc{
        .sizing = FrameSizing::fit(640, 640), .frameRateCap = 15, .codec = VideoCodec::hevc};
    const VideoSettings small{.sizing = FrameSizing::fit(640, 640), .videoBitrate = 300};
    const VideoSettings webm{.videoBitrate = 200, .container = VideoContainer::webm};
    const auto toMP3 = audio({.format = AudioFormat::mp3});
    const auto toOpus = audio({.format = AudioFormat::opus, .bitrate = 96});
    const std::string noVideo = "Could not read the video “";
    struct Row {
        const char* name;
        Input input;
        Command command;
        std::string expected;
        std::optional<Clip> looksLike = std::nullopt;
    };
    const Row rows[] = {
        {"phone, 60 fps capped at 30", copyOf(Clip::phone), video(web720), "h264 640x360 30fps, aac stereo"},
        {"in-process", copyOf(Clip::landscape), video(native, Engine::inProcess),
         "h264 640x360 24fps, aac stereo"},
        {"HEVC", copyOf(Clip::landscape), video(hevc), "hevc 640x360 15fps, aac stereo"},
        {"rotated, in-process", copyOf(Clip::rotated), video(small, Engine::inProcess), "h264 240x320 10fps"},
        {"PQ into WebM", copyOf(Clip::pq), video(webm), "vp9 160x90 10fps bt709"},
        {"HLG", copyOf(Clip::hlg), video(small), "h264 160x90 10fps bt709"},
        {"BT.2020, SDR transfer", copyOf(Clip::bt2020Sdr), video(small), "h264 160x90 10fps bt709",
         Clip::bt2020Sdr},
        {"BT.2020, no transfer", copyOf(Clip::bt2020Untagged), video(small), "h264 160x90 10fps"},
        {"damaged audio", copyOf(Clip::damagedAudio), video(small, Engine::inProcess),
         "h264 160x120 10fps, aac stereo"},
        {"WebM into WebM", copyOf(Clip::webm), video(webm), "vp9 160x120 10fps, opus stereo"},
        {"video FIFO", fifo("pipe.mp4"), video(small), noVideo + "pipe.mp4”."},
        {"PQ poster", copyOf(Clip::pq), poster(), "png 160x90 25fps", Clip::bt2020Sdr},
        {"HLG poster", copyOf(Clip::hlg), poster(), "png 160x90 25fps", Clip::bt2020Sdr},
        {"poster of a FIFO", fifo("pipe.mov"), poster(), "Could not extract a frame at that time."},
        {"5.1(side)", copyOf(Clip::surround51), everyFormat(),
         "mp3 stereo | aac 6 channels | opus 5.1 | flac 5.1(side) 16bit | pcm_s16le 5.1(side) | pcm_s16be "
         "5.1(side)"},
        {"7.1", copyOf(Clip::surround71), everyFormat(),
         "mp3 stereo | aac 7.1 | opus 7.1 | flac 7.1 16bit | pcm_s16le 7.1 | pcm_s16be 7.1"},
        {"Ogg Theora", copyOf(Clip::theora), toMP3, "mp3 mono"},
        {"m4a holding H.264", copyOf(Clip::m4aVideo), audio({.format = AudioFormat::aac}), "aac mono"},
        {"cover kept", copyOf(Clip::m4aCover), toMP3, "mp3 mono, cover png, title Quillmorph"},
        {"no cover in Opus", copyOf(Clip::m4aCover), toOpus, "opus mono, title Quillmorph"},
        {"tags stripped", copyOf(Clip::m4aCover), audio({.format = AudioFormat::flac, .stripTags = true}),
         "flac mono 16bit"},
        {"24 bits kept", copyOf(Clip::flac24), audio({.format = AudioFormat::wav, .mono = true}),
         "pcm_s24le mono 24bit"},
        {"32 bits into 24", copyOf(Clip::wav32), audio({.format = AudioFormat::aiff}),
         "pcm_s24be 1 channels 24bit"},
        {"a video's audio, not its picture", copyOf(Clip::landscape), audio({}, AudioOrigin::videos),
         "mp3 stereo"},
        {"a video without audio", copyOf(Clip::silent), audio({}, AudioOrigin::videos),
         "“silent.mp4” has no audio track."},
        {"audio FIFO", fifo("pipe.mp3"), toMP3, "Could not read the audio of “pipe.mp3”."},
        {"probe HLG", copyOf(Clip::hlg), probes(), "160x90 HDR"},
        {"probe PQ", copyOf(Clip::pq), probes(), "160x90 HDR"},
        {"probe BT.2020 SDR", copyOf(Clip::bt2020Sdr), probes(), "160x90"},
        {"probe a rotation", copyOf(Clip::rotated), probes(), "240x320"},
        {"probe a phone clip", copyOf(Clip::phone), probes(), "640x360 audio"},
        {"probe audio only", copyOf(Clip::tone), probes(), "“tone.m4a” contains no video track."},
        {"probe text", named("notes.mp4", "notes"), probes(), noVideo + "notes.mp4”."},
        {"probe a FIFO", fifo("pipe.mp4"), probes(), noVideo + "pipe.mp4”."},
        {"text", named("notes.mp3", "notes"), toMP3, "Could not read the audio of “notes.mp3”."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        testing::TemporaryDirectory folder;
        fs::path input = row.input(folder.path());
        EXPECT_EQ(row.command(input), row.expected);
        for (const std::string& name : testing::namesIn(folder.path())) {
            EXPECT_NE(name.front(), '.') << name;
            if (row.looksLike && folder / name != input)
                expectLooksLike(folder / name, *row.looksLike);
        }
    }
    std::setlocale(LC_NUMERIC, "C");
}

} // namespace
} // namespace quillmorph
