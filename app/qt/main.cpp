// Program entry: one main window, one instance, no command-line arguments.
#include "app/main/AppConstants.h"
#include "app/main/DvoSubEngine.h"
#include "app/qt/QtMainView.h"
#include "app/qt/QtVersionWindow.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QTranslator>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(
        dvo::app::ProductCode.data(), static_cast<int>(dvo::app::ProductCode.size())));
    // The window ends the program itself (after its close confirmation), never Qt on its own.
    QApplication::setQuitOnLastWindowClosed(false);
    QFont font(QStringLiteral("Noto Sans CJK JP"));
    font.setPixelSize(12);
    QApplication::setFont(font);
    // The program speaks Japanese whatever the locale, also in Qt's own dialogs (the folder
    // dialog's buttons and labels).
    QTranslator qtTexts;
    if (qtTexts.load(QStringLiteral("qtbase_ja"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    dvo::app::DvoSubEngine engine;
    dvo::qt::QtMainView window(engine);
    dvo::qt::QtVersionWindow versionWindow(&window.Log());
    window.Form().SetVersionWindow(&versionWindow.Form());
    // The version window and the diagnostics window are created here, hidden, after the main one.
    window.Form().StartApplication();
    return QApplication::exec();
}
