#pragma once

#include "engines/video/PosterFrame.h"
#include "engines/video/VideoEngineError.h"
#include "engines/video/VideoInfo.h"
#include "engines/video/VideoPreset.h"
#include "engines/video/VideoSettings.h"

#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmorph {

// The video panel's state and logic, without widgets: the settings being edited, the preset they
// follow, the texts and the estimate derived from them (recomputed on every call, the first video
// standing for all), and the poster frames, which are saved off the main thread. Main thread only.
class VideoPanel : public QObject {
    Q_OBJECT

  public:
    // The picker's value for settings that follow no preset.
    static constexpr std::string_view customID = "custom";
    // The quality slider's range in kbit/s; values are kept in whole hundreds.
    static constexpr std::int64_t minimumBitrate = 500;
    static constexpr std::int64_t maximumBitrate = 20000;
    static constexpr std::int64_t bitrateStep = 100;
    // The audio picker's bit rates in kbit/s.
    static constexpr std::array<std::int64_t, 4> audioBitrates{64, 128, 192, 256};
    // The frame-rate picker's caps; 0 keeps the source's rate.
    static constexpr std::array<int, 4> frameRates{0, 60, 30, 24};

    // `files` is never empty; `info` is the probe of the first.
    VideoPanel(std::vector<std::filesystem::path> files, VideoInfo info, QObject* parent = nullptr);

    [[nodiscard]] const std::vector<std::filesystem::path>& files() const { return m_files; }
    [[nodiscard]] const VideoInfo& info() const { return m_info; }
    [[nodiscard]] const VideoSettings& settings() const { return m_settings; }
    // The id of the preset shown in the picker, or customID.
    [[nodiscard]] const std::string& presetID() const { return m_presetID; }
    [[nodiscard]] bool isLinked() const { return m_isLinked; }
    [[nodiscard]] bool showsAdvanced() const { return m_showsAdvanced; }

    // The file's name for one video, "video.count" for several.
    [[nodiscard]] QString title() const;
    // "1920×1080 · 10s · H264 · 12.3 MB", the size being that of every selected file.
    [[nodiscard]] QString subtitle() const;
    // The "-converted" output's name for one video, "video.estimateFirst" for several.
    [[nodiscard]] QString destinationLine() const;
    // The sizes of every file added up; unreadable sizes count 0.
    [[nodiscard]] std::int64_t originalBytes() const { return m_originalBytes; }
    [[nodiscard]] std::int64_t estimatedBytes() const;
    // The frame the encoder writes: always even in both dimensions.
    [[nodiscard]] FrameSize outputSize() const;
    // The preset the settings equal, if any; the picker lists the custom entry only without one.
    [[nodiscard]] std::optional<VideoPreset> matchedPreset() const;
    // "4500 kbps".
    [[nodiscard]] static QString bitrateText(std::int64_t kilobits);
    // The frame-rate picker's entry for a cap (0 for none): "Unchanged (30 fps)", "24 fps".
    [[nodiscard]] QString frameRateText(int cap) const;

    // Whether ffmpeg can be used now: otherwise WebM is not offered.
    [[nodiscard]] bool hasFFmpeg() const;
    // What the current settings would need ffmpeg for; confirming is not possible then.
    [[nodiscard]] std::optional<VideoEngineError::Missing> blocked() const;
    // The ffmpeg notice for blocked(): why, then how to install it. Nothing when not blocked.
    [[nodiscard]] std::optional<QString> noticeText() const;
    // The HDR badge's help text.
    [[nodiscard]] QString hdrHelp() const;
    [[nodiscard]] bool isAudioEnabled() const { return m_info.hasAudio; }
    [[nodiscard]] bool isAudioBitrateEnabled() const { return m_settings.keepsAudio(m_info); }

    // The poster frame's typed time, the line shown after a run and whether one runs now.
    [[nodiscard]] const QString& posterTime() const { return m_posterTime; }
    [[nodiscard]] const std::optional<PosterFrame::Status>& posterStatus() const { return m_posterStatus; }
    [[nodiscard]] bool isMakingPoster() const { return m_isMakingPoster; }

    // Applies the first preset; called once when the panel is shown.
    void start();
    // The picker chose `id`: a preset's id applies that preset, customID changes nothing else.
    void choosePreset(const std::string& id);
    void setContainer(VideoContainer container);
    void setCodec(VideoCodec codec);
    void setSizing(const FrameSizing& sizing);
    void setLinked(bool isLinked);
    // Stored rounded down to whole hundreds.
    void setVideoBitrate(std::int64_t kilobits);
    void setIncludeAudio(bool includeAudio);
    void setAudioBitrate(std::int64_t kilobits);
    // 0 keeps the source's rate.
    void setFrameRateCap(int cap);
    void setShowsAdvanced(bool showsAdvanced);
    // Editing the time clears the last poster status.
    void setPosterTime(const QString& time);
    // Saves a poster of every file at the typed time, in the background; ignored while one runs.
    void makePoster();

    void cancel();
    // Emits confirmed unless the settings are blocked.
    void confirm();

  signals:
    // Any state above changed.
    void changed();
    // A preset replaced the sizing and the link: the size controls show them afresh.
    void presetApplied();
    void cancelled();
    void confirmed(const VideoSettings& settings);

  private:
    void applyPreset(const VideoPreset& preset);
    // Leaves the preset for the custom entry once no preset matches the settings.
    void markCustom();
    // Takes an edit of the settings and follows it with markCustom.
    void edit(const VideoSettings& settings);

    std::vector<std::filesystem::path> m_files;
    VideoInfo m_info;
    std::int64_t m_originalBytes = 0;
    VideoSettings m_settings;
    std::string m_presetID;
    bool m_isLinked = true;
    bool m_showsAdvanced = false;
    QString m_posterTime = QStringLiteral("00:00:00");
    std::optional<PosterFrame::Status> m_posterStatus;
    bool m_isMakingPoster = false;
};

} // namespace quillmorph
