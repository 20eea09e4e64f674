#include "SetupView.h"

#include "common/Bundle.h"
#include "common/Localization.h"

#include <QLabel>
#include <QVBoxLayout>

namespace quillmorph {

SetupView::SetupView(QWidget* parent) : QWidget(parent) {
    auto* name = new QLabel(QStringLiteral("Quillmorph"), this);
    QFont title = name->font();
    title.setPointSizeF(title.pointSizeF() * 1.6);
    title.setWeight(QFont::Bold);
    name->setFont(title);
    auto* version = new QLabel(QString::fromStdString(Localization::string(
                                   Phrase::setupVersion, {{"version", std::string(Bundle::version())}})),
                               this);
    version->setForegroundRole(QPalette::PlaceholderText);
    auto* intro = new QLabel(QString::fromStdString(Localization::string(Phrase::setupIntro)), this);
    intro->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(8);
    layout->addWidget(name);
    layout->addWidget(version);
    layout->addWidget(intro);
    setFixedWidth(480);
}

} // namespace quillmorph
