#include "PosterFrame.h"

#include "FFmpegTool.h"
#include "FilterGraph.h"
#include "MediaSource.h"
#include "ToneMapping.h"
#include "common/Localization.h"
#include "engines/image/ImageEngine.h"
#include "engines/output/FileNaming.h"
#include "engines/output/OutputFile.h"
#include "engines/process/ChildProcess.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace quillmorph::PosterFrame {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view suffix = "-poster";
constexpr std::string_view extension = "png";

std::string_view trimmed(std::string_view text) {
    auto isSpace = [](char c) {
        return std::isspace(static_cast<unsigned char>(c)) != 0;
    };
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

std::optional<double> parsePiece(std::string piece) {
    std::ranges::replace(piece, ',', '.');
    double value = 0;
    auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
    if (error != std::errc() || end != piece.data() + piece.size() || !std::isfinite(value) || value < 0)
        return std::nullopt;
    return value;
}

// Decodes from the key frame before `target` until the frame shown at `target`: the last one that
// starts at or before it (or the very first, for a time before it). A time after the last frame
// has ended has no frame.
tl::expected<AV::Frame, int> decodeFrameAt(const MediaSource& source, AVCodecContext& decoder,
                                           std::int64_t target) {
    AVStream& stream = *source.video();
    // A source that cannot seek is decoded from its start.
    av_seek_frame(source.format(), stream.index, target, AVSEEK_FLAG_BACKWARD);
    AV::Frame shown(av_frame_alloc());
    AV::Frame decoded(av_frame_alloc());
    AV::Packet packet(av_packet_alloc());
    if (!shown || !decoded || !packet)
        return tl::unexpected(AVERROR(ENOMEM));
    bool haveShown = false;
    std::int64_t shownEnd = 0;
    // One frame's time when the container states none.
    std::int64_t frameTime = stream.avg_frame_rate.num > 0
                                 ? av_rescale_q(1, av_inv_q(stream.avg_frame_rate), stream.time_base)
                                 : 0;
    // True once a frame after the target has been seen.
    auto take = [&]() {
        std::int64_t start = decoded->best_effort_timestamp;
        if (haveShown && start != AV_NOPTS_VALUE && start > target)
            return true;
        shownEnd = start == AV_NOPTS_VALUE
                       ? target
                       : start + (decoded->pkt_duration > 0 ? decoded->pkt_duration : frameTime);
        av_frame_unref(shown.get());
        av_frame_move_ref(shown.get(), decoded.get());
        haveShown = true;
        return start != AV_NOPTS_VALUE && start > target;
    };
    bool ended = false;
    while (!ended) {
        int read = av_read_frame(source.format(), packet.get());
        if (read < 0) {
            avcodec_send_packet(&decoder, nullptr);
            ended = true;
        } else if (packet->stream_index == stream.index) {
            avcodec_send_packet(&decoder, packet.get());
        }
        av_packet_unref(packet.get());
        while (avcodec_receive_frame(&decoder, decoded.get()) >= 0) {
            bool past = take();
            av_frame_unref(decoded.get());
            if (past)
                return shown;
        }
    }
    if (!haveShown || shownEnd < target)
        return tl::unexpected(AVERROR_EOF);
    return shown;
}

// The frame upright (tone-mapped as the compressed video would be), as opaque 8-bit RGB with a
// fourth byte to spare.
tl::expected<Bitmap, int> upright(const MediaSource& source, AVFrame& frame) {
    std::string filters = source.hasHDRVideo() ? std::string(toneMappingFilters) + "," : "";
    if (std::string turns = source.uprightFilters(); !turns.empty())
        filters += turns + ",";
    filters += "format=rgba";
    auto graph = FilterGraph::video(frame, source.video()->time_base, filters);
    if (!graph)
        return tl::unexpected(graph.error());
    AV::Frame rgba(av_frame_alloc());
    if (!rgba)
        return tl::unexpected(AVERROR(ENOMEM));
    if (int error = graph->push(&frame); error < 0)
        return tl::unexpected(error);
    if (int error = graph->push(nullptr); error < 0)
        return tl::unexpected(error);
    if (int error = graph->pull(rgba.get()); error < 0)
        return tl::unexpected(error);
    std::size_t rowBytes = std::size_t(rgba->width) * 4;
    std::vector<std::uint8_t> pixels(rowBytes * std::size_t(rgba->height));
    for (int row = 0; row < rgba->height; ++row)
        std::memcpy(pixels.data() + std::size_t(row) * rowBytes,
                    rgba->data[0] + std::ptrdiff_t(row) * rgba->linesize[0], rowBytes);
    return Bitmap(rgba->width, rgba->height, false, std::move(pixels));
}

// The shortest decimal text that reads back as the same number, always with a fraction ("12.0").
// Fixed notation throughout: ffmpeg reads no exponents in times.
std::string secondsText(double seconds) {
    char text[400];
    auto [end, error] = std::to_chars(text, text + sizeof text, seconds, std::chars_format::fixed);
    std::string written(text, error == std::errc() ? end : text);
    if (written.find('.') == std::string::npos)
        written += ".0";
    return written;
}

tl::expected<fs::path, PosterError> posterThroughFFmpeg(const fs::path& video, double seconds,
                                                        const fs::path& destination) {
    std::optional<fs::path> ffmpeg = FFmpegTool::path(FFmpegTool::ffmpeg);
    if (!ffmpeg)
        return tl::unexpected(PosterError::noFrame());
    // ffmpeg writes into the file we created, never into one someone planted meanwhile.
    auto file = OutputFile::make(destination);
    if (!file)
        return tl::unexpected(PosterError::noFrame());
    if (auto extracted = extract(*ffmpeg, video, seconds, file->temporaryPath()); !extracted)
        return tl::unexpected(extracted.error());
    auto landed = file->commit(suffix, extension);
    if (!landed)
        return tl::unexpected(PosterError::noFrame());
    return *landed;
}

tl::expected<fs::path, PosterError> writeAt(const Bitmap& image, const fs::path& destination) {
    auto png = ImageEngine::encode(image, ImageFormat::png, 1.0);
    if (!png)
        return tl::unexpected(PosterError::noFrame());
    auto file = OutputFile::make(destination);
    if (!file || file->write(*png))
        return tl::unexpected(PosterError::noFrame());
    auto landed = file->commit(suffix, extension);
    if (!landed)
        return tl::unexpected(PosterError::noFrame());
    return *landed;
}

} // namespace

std::optional<double> parseTime(std::string_view text) {
    text = trimmed(text);
    std::vector<std::string> pieces(1);
    for (char c : text) {
        if (c == ':')
            pieces.emplace_back();
        else
            pieces.back() += c;
    }
    if (pieces.size() > 3)
        return std::nullopt;
    double seconds = 0;
    for (const std::string& piece : pieces) {
        std::optional<double> value = parsePiece(piece);
        if (!value)
            return std::nullopt;
        seconds = seconds * 60 + *value;
    }
    return std::isfinite(seconds) ? std::optional(seconds) : std::nullopt;
}

tl::expected<Bitmap, PosterError> frame(const fs::path& video, double seconds) {
    auto source = MediaSource::open(video);
    if (!source || !source->video())
        return tl::unexpected(PosterError::noFrame());
    auto decoder = source->openDecoder(*source->video());
    if (!decoder)
        return tl::unexpected(PosterError::noFrame());
    AVRational timeBase = source->video()->time_base;
    std::int64_t target = source->startTime(timeBase) +
                          av_rescale_q(std::llround(seconds * AV_TIME_BASE), AV_TIME_BASE_Q, timeBase);
    auto shown = decodeFrameAt(*source, **decoder, target);
    if (!shown)
        return tl::unexpected(PosterError::noFrame());
    auto image = upright(*source, **shown);
    if (!image)
        return tl::unexpected(PosterError::noFrame());
    return *image;
}

tl::expected<void, PosterError> write(const Bitmap& image, const fs::path& output) {
    auto landed = writeAt(image, output);
    if (!landed)
        return tl::unexpected(landed.error());
    return {};
}

std::vector<std::string> extractArguments(const fs::path& input, double seconds, const fs::path& output,
                                          bool toneMapped) {
    // The seek comes before the input: fast, to the key frame before the time. "-update" makes
    // the image muxer take the name as it is, "%" and all, instead of as a numbered pattern.
    std::vector<std::string> arguments{"-v", "error",       "-y", "-ss", secondsText(seconds),
                                       "-i", input.string()};
    if (toneMapped)
        arguments.insert(arguments.end(), {"-vf", std::string(toneMappingFilters)});
    arguments.insert(arguments.end(),
                     {"-frames:v", "1", "-update", "1", "-compression_level", "0", output.string()});
    return arguments;
}

tl::expected<void, PosterError> extract(const fs::path& ffmpeg, const fs::path& input, double seconds,
                                        const fs::path& output) {
    // An HDR video's poster is tone-mapped like the video, whichever way the frame is taken.
    const auto probed = FFmpegTool::probe(input);
    auto child =
        ChildProcess::start({.program = ffmpeg,
                             .arguments = extractArguments(input, seconds, output, probed && probed->isHDR),
                             .onOutput = {},
                             .onError = {}});
    if (!child)
        return tl::unexpected(PosterError::launchFailed(ffmpeg.string() + ": " + child.error().message()));
    std::error_code ignored;
    if (!child->wait().succeeded() || !fs::is_regular_file(output, ignored) ||
        fs::file_size(output, ignored) == 0)
        return tl::unexpected(PosterError::noFrame());
    return {};
}

tl::expected<std::vector<fs::path>, PosterError> make(const std::vector<fs::path>& videos, double seconds,
                                                      double duration) {
    bool single = videos.size() == 1;
    double limit = !single        ? std::numeric_limits<double>::infinity()
                   : duration > 0 ? duration + 0.001
                                  : 0.001;
    // Beyond any duration a stream can state: the time would not fit its microsecond count.
    constexpr double longest = 9.2e12;
    if (seconds > limit || seconds > longest)
        return tl::unexpected(PosterError::beyondEnd(duration));
    // Asking for the very end takes the frame 0.05 s before it.
    double used = single ? std::min(seconds, std::max(duration - 0.05, 0.0)) : seconds;

    std::vector<fs::path> written;
    for (const fs::path& video : videos) {
        // Neither way of taking a frame may wait for ever on a FIFO or a device.
        if (std::error_code error; !fs::is_regular_file(video, error))
            return tl::unexpected(PosterError::noFrame());
        fs::path destination = FileNaming::destination(video, suffix, extension);
        auto image = frame(video, used);
        // The fallback gets the time as typed.
        auto landed = image ? writeAt(*image, destination) : posterThroughFFmpeg(video, seconds, destination);
        if (!landed)
            return tl::unexpected(landed.error());
        written.push_back(*landed);
    }
    return written;
}

Status status(const tl::expected<std::vector<fs::path>, PosterError>& made) {
    if (!made)
        return {.text = describe(made.error()), .isError = true};
    std::string name =
        made->size() == 1 ? made->front().filename().string() : std::to_string(made->size()) + " PNG";
    return {.text = Localization::string(Phrase::videoPosterSaved, {{"name", name}}), .isError = false};
}

} // namespace quillmorph::PosterFrame
