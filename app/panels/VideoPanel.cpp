#include "VideoPanel.h"

#include "app/Background.h"
#include "app/Texts.h"
#include "common/Localization.h"
#include "engines/output/FileNaming.h"
#include "engines/video/FFmpegTool.h"
#include "engines/video/VideoEngines.h"
#include "engines/video/VideoEstimate.h"

#include <algorithm>
#include <cstdio>

namespace quillmorph {

namespace {

std::optional<VideoPreset> preset(const std::string& id) {
    for (VideoPreset& row : VideoPreset::all()) {
        if (row.id == id)
            return std::move(row);
    }
    return std::nullopt;
}

} // namespace

VideoPanel::VideoPanel(std::vector<std::filesystem::path> files, VideoInfo info, QObject* parent)
    : QObject(parent), m_files(std::move(files)), m_info(std::move(info)),
      m_presetID(VideoPreset::all().front().id) {
    for (const std::filesystem::path& file : m_files)
        m_originalBytes += FileNaming::byteCount(file);
}

QString VideoPanel::title() const {
    return QString::fromStdString(VideoEstimate::title(m_files));
}

QString VideoPanel::subtitle() const {
    return QString::fromStdString(VideoEstimate::subtitle(m_info, m_originalBytes));
}

QString VideoPanel::destinationLine() const {
    return QString::fromStdString(VideoEstimate::destinationLine(m_files, m_settings.container));
}

std::int64_t VideoPanel::estimatedBytes() const {
    return VideoEstimate::estimatedBytes(m_settings, m_info, m_files.size());
}

FrameSize VideoPanel::outputSize() const {
    return m_settings.geometry(m_info).output;
}

std::optional<VideoPreset> VideoPanel::matchedPreset() const {
    return VideoEstimate::matchedPreset(m_settings);
}

QString VideoPanel::bitrateText(std::int64_t kilobits) {
    return QString::number(kilobits) + QStringLiteral(" kbps");
}

QString VideoPanel::frameRateText(int cap) const {
    if (cap > 0)
        return QString::number(cap) + QStringLiteral(" fps");
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.0f", m_info.frameRate);
    return text(Phrase::videoFrameRateUnchanged, {{"fps", rate}});
}

bool VideoPanel::hasFFmpeg() const {
    return FFmpegTool::isAvailable();
}

std::optional<VideoEngineError::Missing> VideoPanel::blocked() const {
    return VideoEngines::blocked(m_settings, m_info);
}

std::optional<QString> VideoPanel::noticeText() const {
    const std::optional<VideoEngineError::Missing> missing = blocked();
    if (!missing)
        return std::nullopt;
    return QString::fromStdString(describe(VideoEngineError::needsFFmpeg(*missing))) + QLatin1Char('\n') +
           text(Phrase::videoInstallFfmpeg);
}

QString VideoPanel::hdrHelp() const {
    return text(hasFFmpeg() ? Phrase::videoHdrHelp : Phrase::videoHdrHelpNative);
}

void VideoPanel::start() {
    applyPreset(VideoPreset::all().front());
}

void VideoPanel::choosePreset(const std::string& id) {
    if (id == m_presetID)
        return;
    m_presetID = id;
    if (std::optional<VideoPreset> chosen = preset(id))
        applyPreset(*chosen);
    else
        emit changed();
}

void VideoPanel::applyPreset(const VideoPreset& preset) {
    m_settings = VideoEstimate::applying(preset, m_settings);
    m_presetID = preset.id;
    m_isLinked = preset.sizing.kind != FrameSizing::Kind::exact;
    emit presetApplied();
    emit changed();
}

void VideoPanel::markCustom() {
    if (!matchedPreset())
        m_presetID = customID;
}

void VideoPanel::edit(const VideoSettings& settings) {
    if (settings == m_settings)
        return;
    m_settings = settings;
    markCustom();
    emit changed();
}

void VideoPanel::setContainer(VideoContainer container) {
    if (container == m_settings.container)
        return;
    m_settings.container = container;
    emit changed();
}

void VideoPanel::setCodec(VideoCodec codec) {
    VideoSettings settings = m_settings;
    settings.codec = codec;
    edit(settings);
}

void VideoPanel::setSizing(const FrameSizing& sizing) {
    VideoSettings settings = m_settings;
    settings.sizing = sizing;
    edit(settings);
}

void VideoPanel::setLinked(bool isLinked) {
    if (isLinked == m_isLinked)
        return;
    m_isLinked = isLinked;
    emit changed();
}

void VideoPanel::setVideoBitrate(std::int64_t kilobits) {
    VideoSettings settings = m_settings;
    settings.videoBitrate = std::clamp(kilobits, minimumBitrate, maximumBitrate) / bitrateStep * bitrateStep;
    edit(settings);
}

void VideoPanel::setIncludeAudio(bool includeAudio) {
    if (includeAudio == m_settings.includeAudio)
        return;
    m_settings.includeAudio = includeAudio;
    emit changed();
}

void VideoPanel::setAudioBitrate(std::int64_t kilobits) {
    VideoSettings settings = m_settings;
    settings.audioBitrate = kilobits;
    edit(settings);
}

void VideoPanel::setFrameRateCap(int cap) {
    VideoSettings settings = m_settings;
    settings.frameRateCap = cap > 0 ? std::optional<double>(cap) : std::nullopt;
    edit(settings);
}

void VideoPanel::setShowsAdvanced(bool showsAdvanced) {
    if (showsAdvanced == m_showsAdvanced)
        return;
    m_showsAdvanced = showsAdvanced;
    emit changed();
}

void VideoPanel::setPosterTime(const QString& time) {
    if (time == m_posterTime)
        return;
    m_posterTime = time;
    m_posterStatus.reset();
    emit changed();
}

void VideoPanel::makePoster() {
    if (m_isMakingPoster)
        return;
    const std::optional<double> seconds = PosterFrame::parseTime(m_posterTime.toStdString());
    if (!seconds) {
        m_posterStatus = PosterFrame::Status{.text = describe(PosterError::invalidTime()), .isError = true};
        emit changed();
        return;
    }
    m_isMakingPoster = true;
    m_posterStatus.reset();
    emit changed();
    runInBackground([files = m_files, seconds = *seconds, duration = m_info.duration] {
        return PosterFrame::status(PosterFrame::make(files, seconds, duration));
    }).then(this, [this](const PosterFrame::Status& status) {
        m_posterStatus = status;
        m_isMakingPoster = false;
        emit changed();
    });
}

void VideoPanel::cancel() {
    emit cancelled();
}

void VideoPanel::confirm() {
    if (!blocked())
        emit confirmed(m_settings);
}

} // namespace quillmorph
