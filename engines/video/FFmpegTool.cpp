#include "FFmpegTool.h"

#include "common/Bundle.h"
#include "common/UserDefaults.h"
#include "engines/process/ChildProcess.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmorph::FFmpegTool {
namespace {

constexpr std::string_view ignoreKey = "QuillmorphIgnoreFFmpeg";

std::mutex overrideMutex;
std::optional<std::vector<std::string>> folderOverride;

bool isExecutableFile(const std::string& candidate) {
    struct stat status {};
    return stat(candidate.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
           access(candidate.c_str(), X_OK) == 0;
}

using Json = nlohmann::json;

// The whole text as a decimal integer with an optional sign; nothing on any other character, an
// empty text or an overflow.
std::optional<std::int64_t> parseInteger(std::string_view text) {
    bool negative = !text.empty() && text.front() == '-';
    if (!text.empty() && (text.front() == '-' || text.front() == '+'))
        text.remove_prefix(1);
    if (text.empty() || text.front() == '-' || text.front() == '+')
        return std::nullopt;
    // Parsed as unsigned so that the most negative value still fits.
    std::uint64_t magnitude = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    constexpr auto limit = std::uint64_t(std::numeric_limits<std::int64_t>::max());
    if (magnitude > limit + (negative ? 1 : 0))
        return std::nullopt;
    return negative ? std::int64_t(0 - magnitude) : std::int64_t(magnitude);
}

// The whole text as a finite floating-point number.
std::optional<double> parseNumber(std::string_view text) {
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

const Json* member(const Json& object, std::string_view key) {
    if (!object.is_object())
        return nullptr;
    auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

std::optional<std::string_view> stringMember(const Json& object, std::string_view key) {
    const Json* value = member(object, key);
    if (!value || !value->is_string())
        return std::nullopt;
    return std::string_view(value->get_ref<const std::string&>());
}

std::int64_t integerMember(const Json& object, std::string_view key) {
    const Json* value = member(object, key);
    return value && value->is_number_integer() ? value->get<std::int64_t>() : 0;
}

// The display rotation in degrees: the first numeric "rotation" of the side data (a fraction
// truncated), else the older "rotate" tag, else 0.
std::int64_t rotation(const Json& stream) {
    if (const Json* sideData = member(stream, "side_data_list"); sideData && sideData->is_array()) {
        for (const Json& entry : *sideData) {
            const Json* value = member(entry, "rotation");
            if (value && value->is_number_integer())
                return value->get<std::int64_t>();
            if (value && value->is_number_float()) {
                double degrees = value->get<double>();
                return std::fabs(degrees) < 9.2e18 ? std::int64_t(degrees) : 0;
            }
        }
    }
    if (const Json* tags = member(stream, "tags")) {
        if (auto rotate = stringMember(*tags, "rotate"))
            return parseInteger(*rotate).value_or(0);
    }
    return 0;
}

const Json* firstStream(const Json& streams, std::string_view type) {
    for (const Json& stream : streams) {
        if (stringMember(stream, "codec_type") == type)
            return &stream;
    }
    return nullptr;
}

// The transfer alone decides: BT.2020 primaries with an SDR transfer are plain SDR video.
bool isHDR(const Json& stream) {
    std::string_view transfer = stringMember(stream, "color_transfer").value_or("");
    return transfer == "smpte2084" || transfer == "arib-std-b67";
}

} // namespace

std::vector<std::string> searchFolders() {
    {
        std::lock_guard lock(overrideMutex);
        if (folderOverride)
            return *folderOverride;
    }
    std::vector<std::string> folders{Bundle::helpersDirectory().string()};
    if (const char* folder = std::getenv("QUILLMORPH_FFMPEG_DIR"))
        folders.emplace_back(folder);
    folders.insert(folders.end(), {"/opt/homebrew/bin", "/usr/local/bin", "/usr/bin"});
    return folders;
}

void setSearchFolders(std::optional<std::vector<std::string>> folders) {
    std::lock_guard lock(overrideMutex);
    folderOverride = std::move(folders);
}

std::optional<std::filesystem::path> path(std::string_view tool) {
    for (const std::string& folder : searchFolders()) {
        std::string candidate = folder + "/" + std::string(tool);
        if (isExecutableFile(candidate))
            return candidate;
    }
    return std::nullopt;
}

bool isAvailable() {
    if (UserDefaults::boolean(ignoreKey).value_or(false))
        return false;
    return path(ffmpeg) && path(ffprobe);
}

tl::expected<VideoInfo, VideoEngineError> probe(const std::filesystem::path& file) {
    std::optional<std::filesystem::path> program = path(ffprobe);
    if (!program)
        return tl::unexpected(VideoEngineError::toolMissing());
    // ffprobe would wait for ever on a FIFO or a device.
    if (std::error_code error; !std::filesystem::is_regular_file(file, error))
        return tl::unexpected(VideoEngineError::probeFailed(file));
    std::string output;
    auto child = ChildProcess::start({
        .program = *program,
        .arguments = {"-v", "quiet", "-print_format", "json", "-show_format", "-show_streams", file.string()},
        .onOutput = [&output](std::string_view bytes) { output.append(bytes); },
        .onError = {},
    });
    if (!child)
        return tl::unexpected(
            VideoEngineError::launchFailed(program->string() + ": " + child.error().message()));
    if (!child->wait().succeeded())
        return tl::unexpected(VideoEngineError::probeFailed(file));
    return videoInfo(output, file);
}

tl::expected<VideoInfo, VideoEngineError> videoInfo(std::string_view json,
                                                    const std::filesystem::path& file) {
    Json top = Json::parse(json, nullptr, false);
    if (!top.is_object())
        return tl::unexpected(VideoEngineError::probeFailed(file));
    const Json* streams = member(top, "streams");
    const Json noStreams = Json::array();
    if (!streams || !streams->is_array())
        streams = &noStreams;
    const Json* format = member(top, "format");
    const Json noFormat = Json::object();
    if (!format || !format->is_object())
        format = &noFormat;

    const Json* video = firstStream(*streams, "video");
    if (!video)
        return tl::unexpected(VideoEngineError::noVideoStream(file));
    const Json* audio = firstStream(*streams, "audio");

    VideoInfo info;
    info.width = integerMember(*video, "width");
    info.height = integerMember(*video, "height");
    // Only a quarter turn swaps; a "rotate" tag of 270 is left as it is.
    if (std::int64_t degrees = rotation(*video); degrees == 90 || degrees == -90)
        std::swap(info.width, info.height);
    info.duration = std::max(0.0, parseNumber(stringMember(*format, "duration").value_or("")).value_or(0));
    info.frameRate = parseRate(stringMember(*video, "r_frame_rate")).value_or(30.0);
    info.codec = stringMember(*video, "codec_name").value_or("?");
    info.bitrate = parseInteger(stringMember(*format, "bit_rate").value_or("")).value_or(0);
    info.fileSize = parseInteger(stringMember(*format, "size").value_or("")).value_or(0);
    info.hasAudio = audio != nullptr;
    if (audio) {
        if (auto codec = stringMember(*audio, "codec_name"))
            info.audioCodec = std::string(*codec);
    }
    info.isHDR = isHDR(*video);
    return info;
}

std::optional<double> parseRate(std::optional<std::string_view> text) {
    if (!text)
        return std::nullopt;
    std::vector<std::string_view> pieces;
    for (std::string_view rest = *text; !rest.empty();) {
        std::size_t slash = rest.find('/');
        if (std::string_view piece = rest.substr(0, slash); !piece.empty())
            pieces.push_back(piece);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    }
    if (pieces.size() != 2)
        return std::nullopt;
    auto numerator = parseNumber(pieces[0]);
    auto denominator = parseNumber(pieces[1]);
    if (!numerator || !denominator || *denominator <= 0)
        return std::nullopt;
    double rate = *numerator / *denominator;
    return std::isfinite(rate) && rate > 0 ? std::optional(rate) : std::nullopt;
}

} // namespace quillmorph::FFmpegTool
