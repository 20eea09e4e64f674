#pragma once

#include "AudioFormat.h"
#include "AudioInfo.h"
#include "AudioSource.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quillmorph {

// One audio job's settings, as the audio panel edits them.
struct AudioSettings {
    AudioFormat format = AudioFormat::mp3;
    int bitrate = 192; // kbps; lossless formats ignore it
    bool mono = false;
    bool stripTags = false; // drop all metadata and cover art

    bool operator==(const AudioSettings&) const = default;

    // The settings of a new panel: the format last chosen (user default "audio.format", mp3 when
    // absent or not a format), 192 kbps when that format offers it, else its default.
    [[nodiscard]] static AudioSettings initial();

    // The settings with `newFormat`; a bitrate the new format does not offer becomes its default.
    [[nodiscard]] AudioSettings withFormat(AudioFormat newFormat) const;

    // ffmpeg's arguments, without the program name, for converting `input` into `output`, which
    // ffmpeg replaces. Only the first audio stream is mapped, with attached pictures where the
    // format keeps a cover.
    [[nodiscard]] std::vector<std::string> arguments(const std::filesystem::path& input,
                                                     const std::filesystem::path& output,
                                                     const AudioSource& source) const;

    // The output size the panel predicts, in bytes: bitrate × duration for lossy formats, raw PCM
    // size for lossless ones (60 % of it for flac). 0 when the probe gave no usable duration;
    // saturates instead of overflowing on absurd probe values.
    [[nodiscard]] std::int64_t estimatedBytes(const AudioInfo& info) const;
};

// The format picker's rule: withFormat, and the choice stored under "audio.format" at once.
[[nodiscard]] AudioSettings chooseFormat(const AudioSettings& settings, AudioFormat format);

// Lossless outputs are 24-bit when the source is known to have more than 16 bits, else 16-bit.
[[nodiscard]] int losslessBitDepth(std::optional<int> sourceBitDepth);

// "audio.lossless" with `bits`: what the quality row shows instead of bitrates for a lossless format.
[[nodiscard]] std::string losslessText(std::optional<int> sourceBitDepth);

} // namespace quillmorph
