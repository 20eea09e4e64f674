// desktop_reveal_driver FILE…: the application's reveal of a batch's outputs, for a script that
// watches a real file manager take it.
#include "app/FileManager.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const std::vector<std::filesystem::path> files(argv + 1, argv + argc);
    quillmorph::FileManager::showItems(files);
    // The call is asynchronous; its answer, or the fallback, comes well within this.
    QTimer::singleShot(3000, &application, &QApplication::quit);
    return application.exec();
}
