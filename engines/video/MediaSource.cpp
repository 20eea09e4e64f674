#include "MediaSource.h"

extern "C" {
#include <libavutil/display.h>
#include <libavutil/log.h>
}

#include <cmath>
#include <mutex>

namespace quillmorph {
namespace {

// The libraries' own messages would land on the terminal or in the session log; failures reach the
// user through our errors instead.
void quietLibraries() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_FATAL); });
}

int interrupted(void* flag) {
    return static_cast<const std::atomic<bool>*>(flag)->load() ? 1 : 0;
}

} // namespace

tl::expected<MediaSource, int> MediaSource::open(const std::filesystem::path& file,
                                                 const std::atomic<bool>* cancelled) {
    quietLibraries();
    // A FIFO or a device would block the read for ever.
    if (std::error_code error; !std::filesystem::is_regular_file(file, error))
        return tl::unexpected(AVERROR(EINVAL));
    AVFormatContext* context = avformat_alloc_context();
    if (!context)
        return tl::unexpected(AVERROR(ENOMEM));
    if (cancelled)
        context->interrupt_callback = {interrupted, const_cast<std::atomic<bool>*>(cancelled)};
    // On failure the library frees the context itself.
    if (int error = avformat_open_input(&context, file.c_str(), nullptr, nullptr); error < 0)
        return tl::unexpected(error);
    AV::Input format(context);
    if (int error = avformat_find_stream_info(context, nullptr); error < 0)
        return tl::unexpected(error);
    return MediaSource(std::move(format));
}

MediaSource::MediaSource(AV::Input format) : m_format(std::move(format)) {
    for (unsigned index = 0; index < m_format->nb_streams; ++index) {
        AVStream* stream = m_format->streams[index];
        AVMediaType type = stream->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_VIDEO && !m_video && !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
            m_video = stream;
        else if (type == AVMEDIA_TYPE_AUDIO && !m_audio)
            m_audio = stream;
    }
}

bool MediaSource::hasHDRVideo() const {
    if (!m_video)
        return false;
    AVColorTransferCharacteristic transfer = m_video->codecpar->color_trc;
    return transfer == AVCOL_TRC_SMPTE2084 || transfer == AVCOL_TRC_ARIB_STD_B67;
}

int MediaSource::quarterTurns() const {
    if (!m_video)
        return 0;
    const auto* matrix = reinterpret_cast<const int32_t*>(
        av_stream_get_side_data(m_video, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
    if (!matrix)
        return 0;
    // The matrix states a counter-clockwise rotation for display.
    double counterClockwise = av_display_rotation_get(matrix);
    if (!std::isfinite(counterClockwise))
        return 0;
    long turns = std::lround(-counterClockwise / 90.0) % 4;
    return int(turns < 0 ? turns + 4 : turns);
}

std::string MediaSource::uprightFilters() const {
    switch (quarterTurns()) {
    case 1:
        return "transpose=clock";
    case 2:
        return "hflip,vflip";
    case 3:
        return "transpose=cclock";
    default:
        return {};
    }
}

FrameSize MediaSource::displayedSize() const {
    if (!m_video)
        return {};
    FrameSize stored{m_video->codecpar->width, m_video->codecpar->height};
    return quarterTurns() % 2 ? FrameSize{stored.height, stored.width} : stored;
}

double MediaSource::duration() const {
    if (m_format->duration == AV_NOPTS_VALUE || m_format->duration <= 0)
        return 0;
    return double(m_format->duration) / AV_TIME_BASE;
}

std::int64_t MediaSource::startTime(AVRational timeBase) const {
    if (m_format->start_time == AV_NOPTS_VALUE)
        return 0;
    return av_rescale_q(m_format->start_time, AV_TIME_BASE_Q, timeBase);
}

tl::expected<AV::Codec, int> MediaSource::openDecoder(const AVStream& stream) const {
    const AVCodec* decoder = avcodec_find_decoder(stream.codecpar->codec_id);
    if (!decoder)
        return tl::unexpected(AVERROR_DECODER_NOT_FOUND);
    AV::Codec context(avcodec_alloc_context3(decoder));
    if (!context)
        return tl::unexpected(AVERROR(ENOMEM));
    if (int error = avcodec_parameters_to_context(context.get(), stream.codecpar); error < 0)
        return tl::unexpected(error);
    context->pkt_timebase = stream.time_base;
    context->thread_count = 0;
    if (int error = avcodec_open2(context.get(), decoder, nullptr); error < 0)
        return tl::unexpected(error);
    return context;
}

} // namespace quillmorph
