#pragma once

#include "engines/video/VideoInfo.h"

#include <QWidget>
#include <filesystem>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSlider;
class QToolButton;
class QVBoxLayout;

namespace quillmorph {

class EstimateLine;
class FFmpegNotice;
class PanelFooter;
class PanelHeader;
class PanelSeparator;
class SegmentedChoice;
class SizeControlsView;
class SliderValue;
class VideoPanel;

// The video panel: header (with an HDR badge for HDR sources), a card with container, preset,
// dimensions, quality and audio, the advanced section (codec, frame rate, poster frame), the ffmpeg
// notice while the settings need ffmpeg, and the footer. It owns its VideoPanel.
class VideoPanelView : public QWidget {
    Q_OBJECT

  public:
    VideoPanelView(std::vector<std::filesystem::path> files, VideoInfo info, QWidget* parent = nullptr);

    [[nodiscard]] VideoPanel* panel() const { return m_panel; }
    [[nodiscard]] PanelHeader* header() const { return m_header; }
    [[nodiscard]] PanelFooter* footer() const { return m_footer; }
    [[nodiscard]] EstimateLine* estimateLine() const { return m_estimate; }
    [[nodiscard]] SegmentedChoice* containerChoice() const { return m_container; }
    [[nodiscard]] QComboBox* presetPicker() const { return m_preset; }
    [[nodiscard]] SizeControlsView* sizeControls() const { return m_size; }
    [[nodiscard]] QSlider* qualitySlider() const { return m_quality; }
    [[nodiscard]] QCheckBox* audioCheckBox() const { return m_includeAudio; }
    [[nodiscard]] QComboBox* audioBitratePicker() const { return m_audioBitrate; }
    [[nodiscard]] QToolButton* advancedButton() const { return m_advancedButton; }
    [[nodiscard]] SegmentedChoice* codecChoice() const { return m_codec; }
    [[nodiscard]] QComboBox* frameRatePicker() const { return m_frameRate; }
    [[nodiscard]] QLineEdit* posterField() const { return m_posterTime; }
    [[nodiscard]] QLabel* posterStatus() const { return m_posterStatus; }
    // The notice shown while the settings need ffmpeg; null otherwise.
    [[nodiscard]] FFmpegNotice* notice() const { return m_notice; }

  protected:
    // Return in the poster field saves the poster instead of confirming the panel.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* makeMainCard();
    QWidget* makeAdvancedCard();
    // A preset replaced the sizing: fresh size controls show it.
    void replaceSizeControls();
    void refresh();
    void refreshPresetPicker();
    void refreshNotice();

    VideoPanel* m_panel;
    PanelHeader* m_header;
    QLabel* m_hdrBadge = nullptr; // HDR sources only
    SegmentedChoice* m_container = nullptr;
    QLabel* m_containerCaption = nullptr;
    QComboBox* m_preset = nullptr;
    QVBoxLayout* m_sizeHolder = nullptr;
    SizeControlsView* m_size = nullptr;
    QLabel* m_outputSize = nullptr;
    QSlider* m_quality = nullptr;
    SliderValue* m_qualityValue = nullptr;
    QCheckBox* m_includeAudio = nullptr;
    QComboBox* m_audioBitrate = nullptr;
    QLabel* m_noAudio = nullptr;
    QToolButton* m_advancedButton = nullptr;
    QWidget* m_advanced = nullptr;
    QWidget* m_codecRow = nullptr;
    PanelSeparator* m_codecSeparator = nullptr;
    SegmentedChoice* m_codec = nullptr;
    QLabel* m_codecDetail = nullptr;
    QComboBox* m_frameRate = nullptr;
    QLineEdit* m_posterTime = nullptr;
    QPushButton* m_posterButton = nullptr;
    QProgressBar* m_posterBusy = nullptr;
    QLabel* m_posterStatus = nullptr;
    QVBoxLayout* m_noticeHolder = nullptr;
    FFmpegNotice* m_notice = nullptr;
    QString m_noticeText;
    EstimateLine* m_estimate;
    PanelFooter* m_footer;
};

} // namespace quillmorph
