#include "AudioSettings.h"

#include "common/Localization.h"
#include "common/UserDefaults.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quillmorph {
namespace {

constexpr std::string_view formatKey = "audio.format";
constexpr int preferredBitrate = 192;

bool offers(AudioFormat format, int bitrate) {
    return std::ranges::find(bitrates(format), bitrate) != bitrates(format).end();
}

std::string kilobits(int bitrate) {
    return std::to_string(bitrate) + "k";
}

void appendMetadata(std::vector<std::string>& arguments, const AudioSettings& settings,
                    const AudioSource& source) {
    if (settings.stripTags) {
        arguments.insert(arguments.end(), {"-map_metadata", "-1"});
        return;
    }
    arguments.insert(arguments.end(), {"-map_metadata", "0"});
    // Only attached pictures are covers: every video stream, then all but those ("V") taken back.
    // An audio file may hold a real video (Theora in Ogg, H.264 in .m4a), and a video's own
    // picture track is never a cover.
    if (!source.fromVideo && keepsCover(settings.format))
        arguments.insert(arguments.end(),
                         {"-map", "0:v?", "-map", "-0:V?", "-c:v", "copy", "-disposition:v", "attached_pic"});
}

void appendCodec(std::vector<std::string>& arguments, const AudioSettings& settings,
                 const AudioSource& source) {
    bool deep = losslessBitDepth(source.bitDepth) > 16;
    switch (settings.format) {
    case AudioFormat::mp3:
        arguments.insert(arguments.end(), {"-c:a", "libmp3lame", "-b:a", kilobits(settings.bitrate)});
        if (!settings.stripTags)
            arguments.insert(arguments.end(), {"-id3v2_version", "3"});
        return;
    case AudioFormat::aac:
        arguments.insert(arguments.end(), {"-c:a", "aac", "-b:a", kilobits(settings.bitrate)});
        return;
    case AudioFormat::opus:
        // libopus takes only the Vorbis channel orders: 5.1(side), most films' layout, becomes 5.1
        // with its side pair as the rear one; other layouts take the nearest, down to stereo.
        arguments.insert(arguments.end(), {"-c:a", "libopus", "-b:a", kilobits(settings.bitrate), "-af",
                                           "aformat=channel_layouts=mono|stereo|3.0|quad|5.0|5.1|6.1|7.1"});
        return;
    case AudioFormat::flac:
        arguments.insert(arguments.end(), {"-c:a", "flac"});
        if (deep)
            arguments.insert(arguments.end(), {"-sample_fmt", "s32", "-bits_per_raw_sample", "24"});
        else
            arguments.insert(arguments.end(), {"-sample_fmt", "s16"});
        return;
    case AudioFormat::wav:
        arguments.insert(arguments.end(), {"-c:a", deep ? "pcm_s24le" : "pcm_s16le"});
        return;
    case AudioFormat::aiff:
        arguments.insert(arguments.end(), {"-c:a", deep ? "pcm_s24be" : "pcm_s16be"});
        if (!settings.stripTags)
            arguments.insert(arguments.end(), {"-write_id3v2", "1"});
        return;
    }
}

// Truncates toward zero; NaN, negative and non-finite products give 0, huge ones saturate.
std::int64_t byteCount(double bytes) {
    if (!std::isfinite(bytes) || !(bytes > 0))
        return 0;
    constexpr double limit = 9.2e18; // just below 2^63, exactly representable
    return bytes >= limit ? std::numeric_limits<std::int64_t>::max() : static_cast<std::int64_t>(bytes);
}

} // namespace

AudioSettings AudioSettings::initial() {
    auto stored = UserDefaults::string(formatKey);
    AudioFormat format =
        stored ? fromString<AudioFormat>(*stored).value_or(AudioFormat::mp3) : AudioFormat::mp3;
    return {.format = format,
            .bitrate = offers(format, preferredBitrate) ? preferredBitrate : defaultBitrate(format)};
}

AudioSettings AudioSettings::withFormat(AudioFormat newFormat) const {
    AudioSettings changed = *this;
    changed.format = newFormat;
    if (!offers(newFormat, bitrate))
        changed.bitrate = defaultBitrate(newFormat);
    return changed;
}

std::vector<std::string> AudioSettings::arguments(const std::filesystem::path& input,
                                                  const std::filesystem::path& output,
                                                  const AudioSource& source) const {
    // "-y": the output is a file we created for ffmpeg to fill.
    std::vector<std::string> arguments{"-v", "error", "-y", "-i", input.string(), "-map", "0:a:0"};
    appendMetadata(arguments, *this, source);
    appendCodec(arguments, *this, source);
    if (mono)
        arguments.insert(arguments.end(), {"-ac", "1"});
    arguments.push_back(output.string());
    return arguments;
}

std::int64_t AudioSettings::estimatedBytes(const AudioInfo& info) const {
    if (!isLossless(format))
        return byteCount(info.duration * bitrate * 1000.0 * 0.125);
    double channels = mono ? 1.0 : std::max(info.channels, 1);
    double bytesPerSample = losslessBitDepth(info.bitDepth) > 16 ? 3.0 : 2.0;
    double bytes = info.duration * info.sampleRate * channels * bytesPerSample;
    return byteCount(format == AudioFormat::flac ? bytes * 0.6 : bytes);
}

AudioSettings chooseFormat(const AudioSettings& settings, AudioFormat format) {
    UserDefaults::setString(formatKey, std::string(toString(format)));
    return settings.withFormat(format);
}

int losslessBitDepth(std::optional<int> sourceBitDepth) {
    return sourceBitDepth.value_or(0) > 16 ? 24 : 16;
}

std::string losslessText(std::optional<int> sourceBitDepth) {
    return Localization::string(Phrase::audioLossless,
                                {{"bits", std::to_string(losslessBitDepth(sourceBitDepth))}});
}

} // namespace quillmorph
