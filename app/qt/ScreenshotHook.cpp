#include "app/qt/ScreenshotHook.h"

#include "app/qt/QtMainView.h"
#include "app/qt/QtTreemapWindow.h"

#include <QAction>
#include <QCursor>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
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
    // With DVO_SCREENSHOT_TREEMAP set the picture is of the treemap window, opened after the search.
    const char* treemap = std::getenv("DVO_SCREENSHOT_TREEMAP");
    const bool map = treemap != nullptr && treemap[0] != '\0';
    // Give the window time to be mapped and painted before acting on it.
    QTimer::singleShot(1500, &window, [&window, target, search, map] {
        if (search) {
            window.Form().btnAddDirectoryClick();
            window.Form().btnExecuteClick();
        }
        QtTreemapWindow* shown = nullptr;
        if (map)
            if (auto* item = window.findChild<QAction*>(QStringLiteral("mnuTreemap"))) {
                item->trigger();
                shown = window.findChild<QtTreemapWindow*>(QStringLiteral("TTreemapForm"));
            }
        const auto grab = [target, shown] {
            QScreen* screen = QGuiApplication::primaryScreen();
            const QPixmap picture = screen == nullptr ? QPixmap()
                                    : shown != nullptr ? screen->grabWindow(shown->winId())
                                                       : screen->grabWindow(0);
            const bool saved = !picture.isNull() && picture.save(target, "PNG");
            std::fprintf(stderr, saved ? "screenshot: %s\n" : "screenshot: cannot write %s\n",
                         target.toLocal8Bit().constData());
            QCoreApplication::exit(saved ? 0 : 1);
        };
        if (shown == nullptr) {
            QTimer::singleShot(500, &window, grab);
            return;
        }
        // Once the map has its final size, move the pointer over an entry so the status line
        // names it, as it does for a user.
        QTimer::singleShot(1200, shown, [shown, grab] {
            const QWidget& canvas = shown->Canvas();
            QCursor::setPos(canvas.mapToGlobal(QPoint(canvas.width() / 4, canvas.height() / 3)));
            QTimer::singleShot(500, shown, grab);
        });
    });
}

} // namespace dvo::qt
