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
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmorph {
namespace {

namespace fs = std::filesystem;
using testing::Clip;

struct Input {
    Input(Clip which)
        : make([which](const fs::path& folder) {
              return testing::copyClip(which, folder, testing::clip(which).filename());
          }) {}
    Input(std::function<fs::path(const fs::path&)> made) : make(std::move(made)) {}
    std::function<fs::path(const fs::path& folder)> make;
};
// What a pipeline made of the input: the output's streams as ffprobe sees them, or the error.
using Command = std::function<std::string(const fs::path& input)>;

Input text(const char* name) {
    return {[name](const fs::path& folder) {
        testing::writeFile(folder / name, "notes");
        return folder / name;
    }};
}

// Reading a FIFO waits for a writer for ever.
Input fifo(const char* name) {
    return {[name](const fs::path& folder) {
        EXPECT_EQ(mkfifo((folder / name).c_str(), 0600), 0);
        return folder / name;
    }};
}

// A clip under /proc/<pid>/fd, a folder nobody may create a file in; its descriptor stays open.
Input inProcfs(Clip which) {
    return {[which](const fs::path& folder) {
        int descriptor = open(Input(which).make(folder).c_str(), O_RDONLY);
        return fs::path("/proc/" + std::to_string(getpid()) + "/fd/" + std::to_string(descriptor));
    }};
}

std::string described(const JobOutcome& outcome) {
    return outcome.output ? testing::streams(*outcome.output) : outcome.error.value_or("");
}

enum class Engine { ffmpeg, inProcess };

// At 300 kbit/s unless the settings say otherwise; progress never goes back, an MP4's index comes first.
Command video(VideoSettings settings, Engine engine = Engine::ffmpeg) {
    settings.videoBitrate =
        settings.videoBitrate == VideoSettings{}.videoBitrate ? 300 : settings.videoBitrate;
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
        if (outcomes.front().output && settings.container == VideoContainer::mp4) {
            std::string bytes = testing::readFile(*outcomes.front().output);
            EXPECT_LT(bytes.find("moov"), bytes.find("mdat"));
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

Command everyFormat() {
    return [](const fs::path& input) {
        std::string texts;
        for (AudioFormat format : allCases<AudioFormat>())
            texts += (texts.empty() ? "" : " | ") + audio(AudioSettings{}.withFormat(format))(input);
        return texts;
    };
}

std::string posterLook(const fs::path& poster) {
    testing::FramePixels pixels = testing::firstFrame(poster);
    return std::to_string(pixels.width) + "x" + std::to_string(pixels.height) + " " +
           pixels.colourAt(pixels.width / 2, 10) + "/" +
           pixels.colourAt(pixels.width / 2, pixels.height - 10);
}

// Posters of `copies` copies (several ignore the duration): the status line and the last one's look.
Command poster(double seconds, double duration = 1, std::size_t copies = 1) {
    return [=](const fs::path& input) {
        auto made = PosterFrame::make(std::vector(copies, input), seconds, duration);
        PosterFrame::Status status = PosterFrame::status(made);
        EXPECT_EQ(status, (PosterFrame::Status{status.text, !made}));
        return made ? status.text + " " + posterLook(made->back()) : status.text;
    };
}

// ffmpeg's poster, for what does not decode in-process, under a name its muxer must not read as a pattern.
Command fallbackPoster(double seconds) {
    return [=](const fs::path& input) {
        fs::path made = input.parent_path() / "50%d off.png";
        auto extracted = PosterFrame::extract(*FFmpegTool::path(FFmpegTool::ffmpeg), input, seconds, made);
        if (!extracted)
            return describe(extracted.error());
        fs::rename(made, input.parent_path() / "fallback.png"); // a name ffmpeg reads back plainly
        return "extracted " + posterLook(input.parent_path() / "fallback.png");
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

// Real media through the application's pipelines, and what comes out; no hidden temporary is left behind.
TEST(MediaScenarios, WhatComesOut) {
    Localization::setLanguage("en");
    // Numbers under the environment's locale, as Qt sets it: the suite runs under a decimal comma.
    std::setlocale(LC_NUMERIC, "");
    const VideoSettings webm{.videoBitrate = 200, .container = VideoContainer::webm};
    const auto inProcess = Engine::inProcess;
    const auto toMP3 = audio({.format = AudioFormat::mp3});
    const std::string noVideo = "Could not read the video “";
    const std::string pastTheEnd = "That time is past the end of the video.";
    const std::string noFrame = "Could not extract a frame at that time.";
    const std::string noAudio = "Could not read the audio of “";
    struct Row {
        const char* name;
        Input input;
        Command command;
        std::string expected;
        std::optional<Clip> looksLike = std::nullopt;
    };
    const Row rows[] = {
        {"in-process", Clip::phone, video({.frameRateCap = 24}, inProcess), "h264 320x180 24fps, aac stereo"},
        {"in-process, cover and crop", Clip::colours,
         video({.sizing = FrameSizing::exact(1080, 1920)}, inProcess), "h264 68x120 10fps"},
        {"HEVC", Clip::phone, video({.frameRateCap = 15, .codec = VideoCodec::hevc}),
         "hevc 320x180 15fps, aac stereo"},
        {"rotated, in-process", Clip::rotated, video({}, inProcess), "h264 240x320 10fps"},
        {"PQ into WebM", Clip::pq, video(webm), "vp9 160x90 10fps bt709"},
        {"HLG", Clip::hlg, video({}), "h264 160x90 10fps bt709"},
        {"BT.2020, SDR transfer", Clip::bt2020Sdr, video({}), "h264 160x90 10fps bt709", Clip::bt2020Sdr},
        {"BT.2020, no transfer", Clip::bt2020Untagged, video({}), "h264 160x90 10fps"},
        {"damaged audio", Clip::damagedAudio, video({}, inProcess), "h264 160x120 10fps, aac stereo"},
        {"WebM into WebM", Clip::webm, video(webm), "vp9 160x120 10fps, opus stereo"},
        {"WebM in-process", Clip::colours, video(webm, inProcess),
         Localization::string(Phrase::errorVideoWebmNeedsFfmpeg)},
        {"PQ in-process", Clip::pq, video({}, inProcess),
         Localization::string(Phrase::errorVideoHdrNeedsFfmpeg)},
        {"a folder nobody may write into", inProcfs(Clip::colours), video({}, inProcess),
         "/proc/" + std::to_string(getpid()) + "/fd: No such file or directory"},
        {"poster at the start", Clip::colours, poster(0, 2), "Saved: colours-poster.png 160x120 red/red"},
        {"poster at the end", Clip::colours, poster(2.0005, 2),
         "Saved: colours-poster.png 160x120 blue/blue"},
        {"poster past the end", Clip::colours, poster(2.01, 2), pastTheEnd},
        {"poster, no duration", Clip::colours, poster(0.002, 0), pastTheEnd},
        {"posters past any duration", Clip::colours, poster(1e13, 0, 2), pastTheEnd},
        {"posters past a video's end", Clip::colours, poster(5, 0, 2), noFrame},
        {"posters upright", Clip::rotated, poster(0.5, 0, 3), "Saved: 3 PNG 240x320 blue/red"},
        {"PQ poster", Clip::pq, poster(0), "Saved: pq-poster.png 160x90 other/blue", Clip::bt2020Sdr},
        {"PQ poster through ffmpeg", Clip::pq, fallbackPoster(0), "extracted 160x90 other/blue",
         Clip::bt2020Sdr},
        {"'%' in the fallback poster's name", Clip::colours, fallbackPoster(1.5),
         "extracted 160x120 blue/blue"},
        {"poster of text", text("notes.mp4"), poster(0), noFrame},
        {"poster of a FIFO", fifo("pipe.mov"), poster(0), noFrame},
        {"5.1(side)", Clip::surround51, everyFormat(),
         "mp3 stereo | aac 6 channels | opus 5.1 | flac 5.1(side) 16bit | pcm_s16le 5.1(side) | pcm_s16be "
         "5.1(side)"},
        {"7.1", Clip::surround71, everyFormat(),
         "mp3 stereo | aac 7.1 | opus 7.1 | flac 7.1 16bit | pcm_s16le 7.1 | pcm_s16be 7.1"},
        {"Ogg Theora", Clip::theora, toMP3, "mp3 mono"},
        {"m4a holding H.264", Clip::m4aVideo, audio({.format = AudioFormat::aac}), "aac mono"},
        {"cover kept", Clip::m4aCover, toMP3, "mp3 mono, cover png, title Quillmorph"},
        {"no cover in Opus", Clip::m4aCover, audio({.format = AudioFormat::opus}),
         "opus mono, title Quillmorph"},
        {"tags stripped", Clip::m4aCover, audio({.format = AudioFormat::flac, .stripTags = true}),
         "flac mono 16bit"},
        {"24 bits kept", Clip::flac24, audio({.format = AudioFormat::wav, .mono = true}),
         "pcm_s24le mono 24bit"},
        {"32 bits into 24", Clip::wav32, audio({.format = AudioFormat::aiff}), "pcm_s24be 1 channels 24bit"},
        {"a video's audio, not its picture", Clip::phone, audio({}, AudioOrigin::videos), "mp3 stereo"},
        {"a video without audio", Clip::colours, audio({}, AudioOrigin::videos),
         "“colours.mp4” has no audio track."},
        {"audio FIFO", fifo("pipe.mp3"), toMP3, noAudio + "pipe.mp3”."},
        {"audio of text", text("notes.mp3"), toMP3, noAudio + "notes.mp3”."},
        {"probe HLG", Clip::hlg, probes(), "160x90 HDR"},
        {"probe BT.2020 SDR", Clip::bt2020Sdr, probes(), "160x90"},
        {"probe audio only", Clip::surround51, probes(), "“film.ac3” contains no video track."},
        {"probe text", text("notes.mp4"), probes(), noVideo + "notes.mp4”."},
        {"probe a FIFO", fifo("pipe.mp4"), probes(), noVideo + "pipe.mp4”."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        testing::TemporaryDirectory folder;
        fs::path input = row.input.make(folder.path());
        EXPECT_EQ(row.command(input), row.expected);
        for (const std::string& name : testing::namesIn(folder.path())) {
            EXPECT_NE(name.front(), '.') << name;
            if (!row.looksLike || folder / name == input)
                continue;
            // Brightness and saturation of the first frame, to within a sixth of a clip that looks right.
            auto made = testing::firstFrame(folder / name).brightnessAndSaturation();
            auto expected = testing::firstFrame(testing::clip(*row.looksLike)).brightnessAndSaturation();
            for (std::size_t index : {0, 1})
                EXPECT_NEAR(made[index], expected[index], expected[index] / 6) << name;
        }
    }
    std::setlocale(LC_NUMERIC, "C");
}

} // namespace
} // namespace quillmorph
