#include "AudioFormat.h"

#include <array>

namespace quillmorph {
namespace {

constexpr std::array<int, 7> commonBitrates{64, 96, 128, 160, 192, 256, 320};
constexpr std::array<int, 8> opusBitrates{32, 48, 64, 96, 128, 160, 192, 256};

} // namespace

bool isLossless(AudioFormat format) {
    switch (format) {
    case AudioFormat::mp3:
    case AudioFormat::aac:
    case AudioFormat::opus:
        return false;
    case AudioFormat::flac:
    case AudioFormat::wav:
    case AudioFormat::aiff:
        return true;
    }
    return false;
}

bool keepsCover(AudioFormat format) {
    switch (format) {
    case AudioFormat::mp3:
    case AudioFormat::aac:
    case AudioFormat::flac:
        return true;
    case AudioFormat::opus:
    case AudioFormat::wav:
    case AudioFormat::aiff:
        return false;
    }
    return false;
}

std::span<const int> bitrates(AudioFormat format) {
    if (format == AudioFormat::opus)
        return opusBitrates;
    return commonBitrates;
}

int defaultBitrate(AudioFormat format) {
    switch (format) {
    case AudioFormat::aac:
        return 160;
    case AudioFormat::opus:
        return 96;
    case AudioFormat::mp3:
    case AudioFormat::flac:
    case AudioFormat::wav:
    case AudioFormat::aiff:
        return 192;
    }
    return 192;
}

std::string_view fileExtension(AudioFormat format) {
    return format == AudioFormat::aac ? "m4a" : toString(format);
}

Phrase detailPhrase(AudioFormat format) {
    return phraseAfter(Phrase::audioFormatMp3Detail, static_cast<std::size_t>(format));
}

} // namespace quillmorph
