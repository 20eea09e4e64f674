#pragma once

#include "engines/audio/AudioSource.h"

#include <QWidget>
#include <filesystem>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;

namespace quillmorph {

class AudioPanel;
class EstimateLine;
class FFmpegNotice;
class PanelFooter;
class PanelHeader;
class SegmentedChoice;

// The audio panel: header, a card with format, quality and the two options, the ffmpeg notice when
// ffmpeg is missing, and the footer with the destination, the estimate for a single file, Cancel
// and Convert (Extract for videos). It owns its AudioPanel.
class AudioPanelView : public QWidget {
    Q_OBJECT

  public:
    AudioPanelView(std::vector<std::filesystem::path> files, AudioOrigin origin, QWidget* parent = nullptr);

    [[nodiscard]] AudioPanel* panel() const { return m_panel; }
    [[nodiscard]] PanelHeader* header() const { return m_header; }
    [[nodiscard]] PanelFooter* footer() const { return m_footer; }
    [[nodiscard]] EstimateLine* estimateLine() const { return m_estimate; }
    [[nodiscard]] SegmentedChoice* formatChoice() const { return m_format; }
    [[nodiscard]] QLabel* formatDetail() const { return m_formatDetail; }
    // Shown for lossy formats; the lossless label stands in its place otherwise.
    [[nodiscard]] QComboBox* bitrateChoice() const { return m_bitrate; }
    [[nodiscard]] QLabel* losslessLabel() const { return m_lossless; }
    [[nodiscard]] QCheckBox* monoBox() const { return m_mono; }
    [[nodiscard]] QCheckBox* stripTagsBox() const { return m_stripTags; }
    // None while ffmpeg is available.
    [[nodiscard]] FFmpegNotice* notice() const { return m_notice; }

  private:
    void refresh();
    // Fills the bit-rate list with the chosen format's choices, selecting the chosen one.
    void refreshBitrates();

    AudioPanel* m_panel;
    PanelHeader* m_header;
    SegmentedChoice* m_format;
    QLabel* m_formatDetail;
    QComboBox* m_bitrate;
    QLabel* m_lossless;
    QCheckBox* m_mono;
    QCheckBox* m_stripTags;
    FFmpegNotice* m_notice = nullptr;
    EstimateLine* m_estimate;
    PanelFooter* m_footer;
};

} // namespace quillmorph
