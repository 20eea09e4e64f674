#pragma once

#include <QStringList>
#include <QWidget>

class QButtonGroup;

namespace quillmorph {

// A row of adjoining buttons of which exactly one is chosen (formats, units, presets).
class SegmentedChoice : public QWidget {
    Q_OBJECT

  public:
    SegmentedChoice(const QStringList& labels, int current, QWidget* parent = nullptr);

    [[nodiscard]] int currentIndex() const;
    // Changes the choice without emitting chosen.
    void setCurrentIndex(int index);

  signals:
    // The user chose the segment `index`.
    void chosen(int index);

  private:
    QButtonGroup* m_group;
};

} // namespace quillmorph
