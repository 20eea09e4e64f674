#include "VideoSettings.h"

#include "ToneMapping.h"
#include "common/NumberText.h"

#include <algorithm>
#include <cmath>

namespace quillmorph {
namespace {

// Toward zero; values no video has (not a number, beyond 64 bits) give 0 instead of undefined behaviour.
std::int64_t truncated(double value) {
    return std::fabs(value) < 9.2e18 ? static_cast<std::int64_t>(value) : 0;
}

std::string kilobits(std::int64_t value) {
    return std::to_string(value) + "k";
}

// The encoders this platform has, in place of the other platform's hardware encoders.
std::vector<std::string> videoEncoder(VideoCodec codec) {
    switch (codec) {
    case VideoCodec::h264:
        return {"-c:v", "libx264", "-preset", "medium"};
    case VideoCodec::hevc:
        return {"-c:v", "libx265", "-preset", "medium", "-x265-params", "log-level=error"};
    }
    return {};
}

void append(std::vector<std::string>& arguments, std::initializer_list<std::string> more) {
    arguments.insert(arguments.end(), more);
}

void appendMP4(std::vector<std::string>& arguments, const VideoSettings& settings, const VideoInfo& info,
               const std::filesystem::path& output, std::optional<int> pass) {
    std::vector<std::string> encoder = videoEncoder(settings.codec);
    arguments.insert(arguments.end(), encoder.begin(), encoder.end());
    append(arguments, {"-b:v", kilobits(settings.videoBitrate), "-maxrate",
                       kilobits(truncated(double(settings.videoBitrate) * 1.45)), "-bufsize",
                       kilobits(settings.videoBitrate * 2)});
    if (settings.codec == VideoCodec::hevc)
        append(arguments, {"-tag:v", "hvc1"});
    else
        append(arguments, {"-profile:v", "high"});
    if (settings.keepsAudio(info))
        append(arguments, {"-c:a", "aac", "-b:a", kilobits(settings.audioBitrate), "-ac", "2"});
    else
        append(arguments, {"-an"});
    append(arguments, {"-movflags", "+faststart"});
    if (pass == 1)
        append(arguments, {"-f", "null", "/dev/null"});
    else
        arguments.push_back(output.string());
}

void appendWebM(std::vector<std::string>& arguments, const VideoSettings& settings, const VideoInfo& info,
                const std::filesystem::path& output, std::optional<int> pass,
                const std::optional<std::filesystem::path>& passLog) {
    append(arguments, {"-c:v", "libvpx-vp9", "-row-mt", "1", "-deadline", "good", "-cpu-used", "2", "-b:v",
                       kilobits(settings.videoBitrate)});
    if (pass && passLog)
        append(arguments, {"-pass", std::to_string(*pass), "-passlogfile", passLog->string()});
    if (settings.keepsAudio(info) && pass != 1) {
        append(arguments,
               {"-c:a", "libopus", "-b:a", kilobits(settings.audioBitrate), "-ac", "2", output.string()});
        return;
    }
    append(arguments, {"-an"});
    if (pass == 1)
        append(arguments, {"-f", "null", "/dev/null"});
    else
        arguments.push_back(output.string());
}

} // namespace

VideoSettings::Geometry VideoSettings::geometry(const VideoInfo& info) const {
    FrameSizing::Geometry exact =
        sizing.geometry({double(info.width), double(info.height)}, FrameSizing::Dimensions::evenOnly);
    return {
        .scaled = {truncated(exact.scaled.width), truncated(exact.scaled.height)},
        .output = {truncated(exact.output.width), truncated(exact.output.height)},
    };
}

double VideoSettings::targetFrameRate(const VideoInfo& info) const {
    return frameRateCap ? std::min(*frameRateCap, info.frameRate) : info.frameRate;
}

std::string VideoSettings::filterChain(const VideoInfo& info) const {
    std::vector<std::string> filters;
    if (info.isHDR)
        filters.emplace_back(toneMappingFilters);
    Geometry sizes = geometry(info);
    if (sizes.scaled != FrameSize{info.width, info.height})
        filters.push_back("scale=" + std::to_string(sizes.scaled.width) + ":" +
                          std::to_string(sizes.scaled.height) + ":flags=bicubic");
    // No offsets: ffmpeg centres the crop.
    if (sizes.output != sizes.scaled)
        filters.push_back("crop=" + std::to_string(sizes.output.width) + ":" +
                          std::to_string(sizes.output.height));
    // A difference within 0.01 fps is rounding in the source's rate, not a reason to resample.
    if (double target = targetFrameRate(info); target < info.frameRate - 0.01)
        filters.push_back("fps=" + NumberText::fixed(target, 3));
    filters.emplace_back("format=yuv420p");

    std::string chain;
    for (const std::string& filter : filters)
        chain += (chain.empty() ? "" : ",") + filter;
    return chain;
}

std::vector<std::string> VideoSettings::arguments(const std::filesystem::path& input,
                                                  const std::filesystem::path& output, const VideoInfo& info,
                                                  std::optional<int> pass,
                                                  const std::optional<std::filesystem::path>& passLog) const {
    // Progress records go to standard output, errors alone to standard error.
    std::vector<std::string> arguments{"-hide_banner", "-nostdin", "-y", "-loglevel",    "error", "-progress",
                                       "pipe:1",       "-nostats", "-i", input.string(), "-map",  "0:v:0"};
    if (keepsAudio(info) && pass != 1)
        append(arguments, {"-map", "0:a:0"});
    append(arguments, {"-map_metadata", "-1", "-vf", filterChain(info)});
    switch (container) {
    case VideoContainer::mp4:
        appendMP4(arguments, *this, info, output, pass);
        break;
    case VideoContainer::webm:
        appendWebM(arguments, *this, info, output, pass, passLog);
        break;
    }
    return arguments;
}

std::int64_t VideoSettings::estimatedBytes(const VideoInfo& info) const {
    std::int64_t kilobitsPerSecond = videoBitrate + (keepsAudio(info) ? audioBitrate : 0);
    // Kilobits to bits, over the duration, bits to bytes, plus 2 % container overhead.
    return truncated(double(kilobitsPerSecond) * 1000 * info.duration * 0.125 * 1.02);
}

} // namespace quillmorph
