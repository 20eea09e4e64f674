#pragma once

#include <QWidget>

namespace quillmorph {

// The setup window's content, shown when the application is started without a request. For now
// the product's name and what it does.
class SetupView : public QWidget {
    Q_OBJECT

  public:
    explicit SetupView(QWidget* parent = nullptr);
};

} // namespace quillmorph
