#include "AudioPanel.h"

#include "app/Background.h"
#include "app/Texts.h"
#include "common/ByteCount.h"
#include "common/Localization.h"
#include "engines/audio/AudioEngine.h"
#include "engines/output/FileNaming.h"

#include <QStringList>
#include <algorithm>
#include <cmath>

namespace quillmorph {

namespace {

// Whole seconds, rounded, as "m:ss"; minutes are not wrapped into hours. An absurd probed duration
// is capped rather than overflowing the conversion.
QString durationText(double seconds) {
    constexpr double longest = 1e12;
    const long long whole =
        std::isfinite(seconds) && seconds > 0 ? std::llround(std::min(seconds, longest)) : 0;
    return QString::asprintf("%lld:%02lld", whole / 60, whole % 60);
}

} // namespace

AudioPanel::AudioPanel(std::vector<std::filesystem::path> files, AudioOrigin origin, QObject* parent)
    : QObject(parent), m_files(std::move(files)), m_origin(origin), m_isAvailable(AudioEngine::isAvailable()),
      m_settings(AudioSettings::initial()) {
    for (const std::filesystem::path& file : m_files)
        m_originalBytes += FileNaming::byteCount(file);
}

QString AudioPanel::title() const {
    if (m_files.size() == 1)
        return fromPath(m_files.front().filename());
    const Phrase count = m_origin == AudioOrigin::videos ? Phrase::audioVideoCount : Phrase::audioCount;
    return text(count, {{"n", std::to_string(m_files.size())}});
}

QString AudioPanel::subtitle() const {
    QStringList parts;
    if (m_info) {
        parts.append(durationText(m_info->duration));
        if (!m_info->codec.empty())
            parts.append(QString::fromStdString(m_info->codec).toUpper());
        // A video's container bit rate is mostly picture: it says nothing about the sound.
        if (m_origin == AudioOrigin::audioFiles && m_info->bitrate >= 1)
            parts.append(bitrateText(m_info->bitrate));
    }
    parts.append(QString::fromStdString(formatByteCount(m_originalBytes)));
    if (m_files.size() >= 2)
        parts.append(text(Phrase::audioFirstOfMany));
    return parts.join(QStringLiteral(" · "));
}

QString AudioPanel::destinationLabel() const {
    const std::string extension{fileExtension(m_settings.format)};
    if (m_files.size() == 1)
        return fromPath(m_files.front().stem()) + QString::fromUtf8(AudioEngine::outputSuffix) +
               QLatin1Char('.') + QString::fromStdString(extension);
    return text(Phrase::audioDestinationEach, {{"ext", extension}});
}

QString AudioPanel::confirmTitle() const {
    return text(m_origin == AudioOrigin::videos ? Phrase::commonExtract : Phrase::commonConvert);
}

QString AudioPanel::formatDetail() const {
    return text(detailPhrase(m_settings.format));
}

std::span<const int> AudioPanel::bitrateChoices() const {
    return bitrates(m_settings.format);
}

QString AudioPanel::losslessText() const {
    return QString::fromStdString(quillmorph::losslessText(m_info ? m_info->bitDepth : std::optional<int>()));
}

QString AudioPanel::bitrateText(int bitrate) {
    return QString::number(bitrate) + QStringLiteral(" kbps");
}

std::optional<std::int64_t> AudioPanel::estimatedBytes() const {
    if (m_files.size() != 1 || !m_info)
        return std::nullopt;
    // Without a duration the estimate is 0, which would read as a complete saving.
    const std::int64_t bytes = m_settings.estimatedBytes(*m_info);
    return bytes > 0 ? std::optional(bytes) : std::nullopt;
}

void AudioPanel::setFormat(AudioFormat format) {
    setSettings(chooseFormat(m_settings, format));
}

void AudioPanel::setBitrate(int bitrate) {
    AudioSettings settings = m_settings;
    settings.bitrate = bitrate;
    setSettings(settings);
}

void AudioPanel::setMono(bool mono) {
    AudioSettings settings = m_settings;
    settings.mono = mono;
    setSettings(settings);
}

void AudioPanel::setStripTags(bool stripTags) {
    AudioSettings settings = m_settings;
    settings.stripTags = stripTags;
    setSettings(settings);
}

void AudioPanel::setSettings(const AudioSettings& settings) {
    if (settings == m_settings)
        return;
    m_settings = settings;
    emit changed();
}

void AudioPanel::start() {
    if (m_isProbing || m_info || m_probeError)
        return;
    m_isProbing = true;
    emit changed();
    runInBackground([first = m_files.front()] {
        return AudioEngine::inspect(first);
    }).then(this, [this](const tl::expected<AudioInfo, AudioEngineError>& probed) {
        m_isProbing = false;
        if (probed)
            m_info = *probed;
        else
            m_probeError = QString::fromStdString(describe(probed.error()));
        emit changed();
    });
}

void AudioPanel::cancel() {
    emit cancelled();
}

void AudioPanel::confirm() {
    if (m_isAvailable)
        emit confirmed(m_settings);
}

} // namespace quillmorph
