#include "AudioProbe.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>

namespace quillmorph::AudioProbe {
namespace {

using nlohmann::json;

const json* member(const json& object, std::string_view key) {
    auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

std::optional<std::string_view> stringMember(const json& object, std::string_view key) {
    const json* value = member(object, key);
    if (value == nullptr || !value->is_string())
        return std::nullopt;
    return value->get_ref<const std::string&>();
}

// The whole text as a decimal integer with an optional sign; from_chars alone rejects "+".
template <typename Integer> std::optional<Integer> parseInteger(std::string_view text) {
    if (text.starts_with('+'))
        text.remove_prefix(1);
    Integer value{};
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

std::optional<double> parseDouble(std::string_view text) {
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

AudioInfo infoFrom(const json& stream, const json& format) {
    AudioInfo info;
    if (auto text = stringMember(format, "duration"))
        info.duration = parseDouble(*text).value_or(0);
    if (auto text = stringMember(format, "bit_rate"))
        info.bitrate = static_cast<int>(std::clamp<std::int64_t>(
            parseInteger<std::int64_t>(*text).value_or(0) / 1000, 0, std::numeric_limits<int>::max()));
    if (auto text = stringMember(stream, "sample_rate"))
        info.sampleRate = parseInteger<int>(*text).value_or(44100);
    if (const json* channels = member(stream, "channels"); channels && channels->is_number_integer())
        info.channels = channels->get<int>();
    info.bitDepth = bitDepth(stream);
    info.codec = stringMember(stream, "codec_name").value_or("");
    return info;
}

} // namespace

std::vector<std::string> arguments(const std::filesystem::path& file) {
    return {"-v",
            "error",
            "-select_streams",
            "a:0",
            "-show_entries",
            "stream=codec_name,sample_rate,channels,bits_per_raw_sample,sample_fmt:format=duration,bit_rate",
            "-of",
            "json",
            file.string()};
}

tl::expected<AudioInfo, AudioEngineError> parse(std::string_view output, const std::filesystem::path& file) {
    json document = json::parse(output, nullptr, false);
    if (document.is_discarded() || !document.is_object())
        return tl::unexpected(AudioEngineError::unreadable(file));
    const json* format = member(document, "format");
    if (format == nullptr || !format->is_object())
        return tl::unexpected(AudioEngineError::unreadable(file));
    const json* streams = member(document, "streams");
    if (streams == nullptr || !streams->is_array() || streams->empty() ||
        !std::ranges::all_of(*streams, [](const json& stream) { return stream.is_object(); }))
        return tl::unexpected(AudioEngineError::noAudioTrack(file));
    return infoFrom(streams->front(), *format);
}

std::optional<int> bitDepth(const nlohmann::json& stream) {
    if (auto text = stringMember(stream, "bits_per_raw_sample")) {
        if (auto bits = parseInteger<int>(*text); bits && *bits > 0)
            return bits;
    }
    auto sampleFormat = stringMember(stream, "sample_fmt");
    if (sampleFormat == "s16" || sampleFormat == "s16p")
        return 16;
    if (sampleFormat == "s32" || sampleFormat == "s32p")
        return 24;
    return std::nullopt;
}

} // namespace quillmorph::AudioProbe
