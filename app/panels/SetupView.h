#pragma once

#include "common/LanguageSettings.h"
#include "common/Phrase.h"
#include "updates/Release.h"
#include "updates/UpdateModel.h"

#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;

namespace quillmorph {

// The setup window's content, shown when the application is started without a request: what the
// file-manager menu offers and how to enable it, the version and update status, the interface
// language, and a donation block. Choosing a language re-renders every text at once and stores the
// choice. The first time the window shows, the update status is refreshed.
class SetupView : public QWidget {
    Q_OBJECT

  public:
    // `release`: the one the launch-time check found, announced at once.
    explicit SetupView(std::optional<Release> release, QWidget* parent = nullptr);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QWidget* makeHeader();
    QWidget* makeBanner();
    QWidget* makeKinds();
    QWidget* makeSteps();
    QWidget* makeActions();
    QWidget* makeDonation();
    QWidget* makeStatusLine();
    // A label whose text is `phrase` in the current language.
    QLabel* phraseLabel(Phrase phrase, QWidget* parent);
    // Remembers how to set one widget's text, and sets it now.
    void addText(std::function<void()> render);
    void render();
    void renderUpdates();
    void chooseLanguage(int index);

    LanguageSettings m_language;
    UpdateModel m_updates;
    std::vector<std::function<void()>> m_texts;
    QComboBox* m_languages = nullptr;
    QWidget* m_banner = nullptr;
    QLabel* m_bannerTitle = nullptr;
    QLabel* m_summary = nullptr;
    QLabel* m_status = nullptr;
    QCheckBox* m_enabled = nullptr;
    bool m_refreshed = false;
};

} // namespace quillmorph
