#pragma once

#include "engines/image/SizeControls.h"

#include <QWidget>

namespace quillmorph {

class AspectRatioLock;
class NumericLineEdit;
class SegmentedChoice;

// Width and height fields with the aspect-ratio lock between them and the PX/% unit choice, over
// SizeControls. Reports the request they produce and the lock's state as they change.
class SizeControlsView : public QWidget {
    Q_OBJECT

  public:
    SizeControlsView(const FrameSizing& sizing, bool isLinked, QWidget* parent = nullptr);
    ~SizeControlsView() override;

    // The source's pixel size; (0, 0) while unknown. A new size refills the fields.
    void setSource(Size source);

    [[nodiscard]] const SizeControls& controls() const { return m_controls; }
    [[nodiscard]] NumericLineEdit* field(SizeControls::Side side) const;
    [[nodiscard]] SegmentedChoice* unitChoice() const { return m_unit; }
    [[nodiscard]] AspectRatioLock* lock() const { return m_lock; }

  signals:
    void sizingChanged(const FrameSizing& sizing);
    void linkedChanged(bool isLinked);

  private:
    void connectField(SizeControls::Side side);
    // Shows the controls' state and reports what changed.
    void refresh();

    SizeControls m_controls;
    FrameSizing m_reportedSizing;
    bool m_reportedLinked;
    NumericLineEdit* m_width;
    NumericLineEdit* m_height;
    AspectRatioLock* m_lock;
    SegmentedChoice* m_unit;
};

} // namespace quillmorph
