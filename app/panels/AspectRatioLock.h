#pragma once

#include <QToolButton>

namespace quillmorph {

// The aspect-ratio lock between the width and height fields: a padlock, closed while locked.
class AspectRatioLock : public QToolButton {
    Q_OBJECT

  public:
    explicit AspectRatioLock(QWidget* parent = nullptr);

    [[nodiscard]] QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace quillmorph
