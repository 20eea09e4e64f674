#include "AppDelegate.h"

#include "Background.h"
#include "FileManager.h"
#include "MainMenu.h"
#include "Notifications.h"
#include "StaleBuild.h"
#include "common/Localization.h"
#include "common/Log.h"
#include "common/RequestTransport.h"
#include "engines/batch/BatchRunner.h"
#include "engines/image/ImageSettings.h"
#include "panels/ImagePanel.h"
#include "panels/ImagePanelView.h"
#include "panels/PanelWindow.h"
#include "panels/ProgressView.h"
#include "panels/SetupView.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>

namespace quillmorph {
namespace {

constexpr std::string_view category = "app";
constexpr std::chrono::milliseconds quitDelay{1500};

QString text(Phrase phrase) {
    return QString::fromStdString(Localization::string(phrase));
}

} // namespace

AppDelegate::AppDelegate(QObject* parent) : QObject(parent) {
    // Batches mostly wait for their own job threads; any number may run side by side.
    m_batches.setMaxThreadCount(64);
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching() {
    m_menu = MainMenu::install([this] { terminate(); }, this);
    StaleBuild::closeOtherCopies();
    // After the current event: a request that arrives with the launch suppresses the setup window.
    QTimer::singleShot(0, this, [this] {
        if (!m_didReceiveRequest)
            showSetupWindow();
    });
    checkForUpdates();
}

void AppDelegate::checkForUpdates() {
    beginJob();
    // The release check plugs in here; until it exists the check ends at once without a release.
    QTimer::singleShot(0, this, [this] {
        endJob();
        quitIfIdle();
    });
}

void AppDelegate::openURLs(const QStringList& urls) {
    if (StaleBuild::isStale()) {
        StaleBuild::handOver(urls, [this] { terminate(); });
        return;
    }
    m_didReceiveRequest = true;
    for (const QString& url : urls) {
        if (std::optional<QuillmorphRequest> request = RequestTransport::request(url.toStdString()))
            handle(*request);
    }
}

void AppDelegate::applicationShouldHandleReopen() {
    showSetupWindow();
}

void AppDelegate::handle(const QuillmorphRequest& request) {
    std::vector<std::filesystem::path> files;
    for (const std::string& path : request.paths) {
        std::error_code error;
        if (std::filesystem::exists(path, error))
            files.emplace_back(path);
    }
    Log::info(category, "richiesta " + std::string(toString(request.action)) + ": " +
                            std::to_string(files.size()) + " di " + std::to_string(request.paths.size()) +
                            " file presenti");
    if (files.empty()) {
        quitIfIdle();
        return;
    }
    switch (request.action) {
    case ActionKind::image:
        openImagePanel(files);
        return;
    case ActionKind::video:
        openVideoPanel(files);
        return;
    case ActionKind::pdf:
        openPDFPanel(files);
        return;
    case ActionKind::audio:
        openAudioPanel(files, false);
        return;
    case ActionKind::extractAudio:
        openAudioPanel(files, true);
        return;
    }
}

void AppDelegate::openImagePanel(const std::vector<std::filesystem::path>& files) {
    auto* view = new ImagePanelView(files);
    ImagePanel* panel = view->panel();
    connect(panel, &ImagePanel::cancelled, this, &AppDelegate::dismissTopPanel);
    connect(panel, &ImagePanel::confirmed, this, [this, files](const ImageSettings& settings) {
        dismissTopPanel();
        run(files, settings);
    });
    openPanel(view, Phrase::windowCompressImages);
    panel->start();
}

void AppDelegate::openPDFPanel(const std::vector<std::filesystem::path>&) {
    quitIfIdle(); // the PDF panel comes next
}

void AppDelegate::openAudioPanel(const std::vector<std::filesystem::path>&, bool) {
    quitIfIdle(); // the audio panel comes next
}

void AppDelegate::openVideoPanel(const std::vector<std::filesystem::path>&) {
    quitIfIdle(); // the video panel comes next
}

void AppDelegate::openPanel(QWidget* view, Phrase title) {
    auto* panel = new PanelWindow;
    m_panels.emplace_back(panel);
    connect(panel, &PanelWindow::windowClosed, this, [this, panel] { panelClosed(panel); });
    panel->open(view, text(title));
    if (m_menu)
        m_menu->attach(panel->window(), MainMenu::Bar::hidden);
}

void AppDelegate::dismissTopPanel() {
    if (!m_panels.empty()) {
        Panel panel = std::move(m_panels.back());
        m_panels.pop_back();
        if (m_setupPanel == panel.get())
            m_setupPanel = nullptr;
        panel->close();
        release(std::move(panel));
    }
    quitIfIdle();
}

void AppDelegate::panelClosed(PanelWindow* panel) {
    const auto entry = std::ranges::find(m_panels, panel, &Panel::get);
    if (entry == m_panels.end())
        return; // dismissed already
    Panel closed = std::move(*entry);
    m_panels.erase(entry);
    if (m_setupPanel == panel)
        m_setupPanel = nullptr;
    release(std::move(closed));
    quitIfIdle();
}

void AppDelegate::release(Panel panel) {
    panel.release()->deleteLater();
}

void AppDelegate::showSetupWindow() {
    if (m_setupPanel)
        return;
    auto* panel = new PanelWindow;
    m_panels.emplace_back(panel);
    connect(panel, &PanelWindow::windowClosed, this, [this, panel] { panelClosed(panel); });
    panel->open(new SetupView, QStringLiteral("Quillmorph"), PanelWindow::Style::regular);
    if (m_menu)
        m_menu->attach(panel->window(), MainMenu::Bar::shown);
    m_setupPanel = panel;
}

void AppDelegate::showProgressPanel() {
    if (m_progressPanel)
        return;
    m_progressPanel = std::make_unique<PanelWindow>();
    m_progressPanel->open(new ProgressView(m_progress), QStringLiteral("Quillmorph"));
    if (m_menu)
        m_menu->attach(m_progressPanel->window(), MainMenu::Bar::hidden);
}

void AppDelegate::hideProgressPanel() {
    if (m_progressPanel) {
        m_progressPanel->close();
        release(std::move(m_progressPanel));
    }
    m_progress.setOnCancel(nullptr);
}

void AppDelegate::beginJob() {
    ++m_activeJobs;
}

void AppDelegate::endJob() {
    m_activeJobs = std::max(0, m_activeJobs - 1);
}

void AppDelegate::run(const std::vector<std::filesystem::path>& files, const ImageSettings& settings) {
    beginJob();
    m_progress.begin(int(files.size()), text(Phrase::progressImages));
    if (files.size() >= 2)
        showProgressPanel();
    // Progress is posted to the application object, the one receiver that outlives every batch;
    // the guard is only read there, on the main thread.
    const BatchRunner::Progress progress = [delegate = QPointer<AppDelegate>(this)](std::size_t done,
                                                                                    std::size_t total) {
        if (!delegate)
            return;
        delegate->m_progress.setDone(int(done));
        delegate->m_progress.setTotal(int(total));
    };
    const BatchRunner::Executor executor = [](std::function<void()> step) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(step), Qt::QueuedConnection);
    };
    runInBackground([files, settings, progress,
                     executor] { return BatchRunner::run(files, settings, progress, executor); },
                    &m_batches)
        .then(this, [this](const std::vector<JobOutcome>& outcomes) {
            finishBatch(outcomes, Phrase::notifyImagesVerb, Phrase::notifyImagesCount);
        });
}

void AppDelegate::finishBatch(const std::vector<JobOutcome>& outcomes, Phrase verb, Phrase countPhrase) {
    hideProgressPanel();
    Notifications::report(outcomes, Localization::string(verb), countPhrase);
    revealInFinder(outcomes);
    endJob();
    emit batchFinished(outcomes);
    quitIfIdle();
}

void AppDelegate::revealInFinder(const std::vector<JobOutcome>& outcomes) {
    std::vector<std::filesystem::path> outputs;
    for (const JobOutcome& outcome : outcomes) {
        if (outcome.output)
            outputs.push_back(*outcome.output);
    }
    FileManager::showItems(outputs);
}

std::vector<PanelWindow*> AppDelegate::panels() const {
    std::vector<PanelWindow*> panels;
    for (const Panel& panel : m_panels)
        panels.push_back(panel.get());
    return panels;
}

bool AppDelegate::isIdle() const {
    return m_activeJobs == 0 && m_panels.empty() && !m_progressPanel;
}

void AppDelegate::quitIfIdle() {
    if (!isIdle())
        return;
    QTimer::singleShot(quitDelay, this, [this] {
        if (isIdle())
            terminate();
    });
}

void AppDelegate::terminate() {
    emit terminateRequested();
}

} // namespace quillmorph
