#pragma once

#include "engines/audio/AudioInfo.h"
#include "engines/audio/AudioSettings.h"
#include "engines/audio/AudioSource.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

namespace quillmorph {

// The audio panel's state and logic, without widgets, for both audio actions: converting audio files
// and extracting the audio of videos. The first file is probed once in the background; its facts
// feed the subtitle, the lossless bit depth and, for a single file, the size estimate. Main thread
// only.
class AudioPanel : public QObject {
    Q_OBJECT

  public:
    // `files` is never empty.
    AudioPanel(std::vector<std::filesystem::path> files, AudioOrigin origin, QObject* parent = nullptr);

    [[nodiscard]] const std::vector<std::filesystem::path>& files() const { return m_files; }
    [[nodiscard]] AudioOrigin origin() const { return m_origin; }
    [[nodiscard]] const AudioSettings& settings() const { return m_settings; }
    // The first file's facts; none until the probe succeeded.
    [[nodiscard]] const std::optional<AudioInfo>& info() const { return m_info; }
    // The probe's failure, in the current language.
    [[nodiscard]] const std::optional<QString>& probeError() const { return m_probeError; }
    [[nodiscard]] bool isProbing() const { return m_isProbing; }
    // Whether ffmpeg can be used; without it nothing can be confirmed.
    [[nodiscard]] bool isAvailable() const { return m_isAvailable; }

    // The file's name for one file, else "audio.videoCount" or "audio.count".
    [[nodiscard]] QString title() const;
    // "m:ss · CODEC · 256 kbps · bytes" (the probed parts once known, the bit rate only for audio
    // files), then "audio.firstOfMany" for several files.
    [[nodiscard]] QString subtitle() const;
    // "name-converted.ext" for one file, else "audio.destinationEach".
    [[nodiscard]] QString destinationLabel() const;
    // "common.extract" or "common.convert".
    [[nodiscard]] QString confirmTitle() const;
    // The chosen format's detail phrase.
    [[nodiscard]] QString formatDetail() const;
    // The bit rates offered for the chosen format; the quality row shows them for lossy formats.
    [[nodiscard]] std::span<const int> bitrateChoices() const;
    // "audio.lossless" with the bit depth the output will have.
    [[nodiscard]] QString losslessText() const;
    // "192 kbps".
    [[nodiscard]] static QString bitrateText(int bitrate);
    // The sizes of every file added up; unreadable sizes count 0.
    [[nodiscard]] std::int64_t originalBytes() const { return m_originalBytes; }
    // Only for a single file whose probe gave a duration.
    [[nodiscard]] std::optional<std::int64_t> estimatedBytes() const;

    // Also remembered as the format of the next panel.
    void setFormat(AudioFormat format);
    void setBitrate(int bitrate);
    void setMono(bool mono);
    void setStripTags(bool stripTags);

    // Probes the first file; called once the panel is shown.
    void start();
    void cancel();
    // Emits confirmed, unless ffmpeg is unavailable.
    void confirm();

  signals:
    // Any state above changed.
    void changed();
    void cancelled();
    void confirmed(const AudioSettings& settings);

  private:
    void setSettings(const AudioSettings& settings);

    std::vector<std::filesystem::path> m_files;
    AudioOrigin m_origin;
    std::int64_t m_originalBytes = 0;
    bool m_isAvailable;
    AudioSettings m_settings;
    std::optional<AudioInfo> m_info;
    std::optional<QString> m_probeError;
    bool m_isProbing = false;
};

} // namespace quillmorph
