#include "app/qt/ScreenshotHook.h"

#include "app/qt/QtMainView.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace dvo::qt {

void InstallScreenshotHook(QtMainView& window) {
    const char* png = std::getenv("DVO_SCREENSHOT_PNG");
    if (png == nullptr || png[0] == '\0')
        return;
    const QString target = QFile::decodeName(png);
    const char* folder = std::getenv("DVO_SCREENSHOT_FOLDER");
    if (folder != nullptr && folder[0] != '\0') {
        const std::string chosen = folder;
        window.SetFolderChooser([chosen](const std::string&, const std::string&) { return chosen; });
    }
    const bool search = folder != nullptr && folder[0] != '\0';
    // Give the window time to be mapped and painted before acting on it.
    QTimer::singleShot(1500, &window, [&window, target, search] {
        if (search) {
            window.Form().btnAddDirectoryClick();
            window.Form().btnExecuteClick();
        }
        QTimer::singleShot(500, &window, [target] {
            QScreen* screen = QGuiApplication::primaryScreen();
            const bool saved = screen != nullptr && screen->grabWindow(0).save(target, "PNG");
            std::fprintf(stderr, saved ? "screenshot: %s\n" : "screenshot: cannot write %s\n",
                         target.toLocal8Bit().constData());
            QCoreApplication::exit(saved ? 0 : 1);
        });
    });
}

} // namespace dvo::qt
