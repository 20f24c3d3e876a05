// Program entry: one main window, one instance. `DVO [FOLDER]`: the folder is searched at once,
// or, when the program already runs, by the running window, which comes to the front.
#include "app/main/AppConstants.h"
#include "app/main/DvoSubEngine.h"
#include "app/qt/QtMainView.h"
#include "app/qt/QtVersionWindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QLibraryInfo>
#include <QTimer>
#include <QTranslator>

#include <string>

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

    // QApplication has taken its own options out of argv; the folder's bytes are used as given,
    // so a name that is not UTF-8 still names its folder.
    const std::string startFolder = dvo::app::TMainForm::CommandLineFolder(
        argc > 1 ? argv[1] : "", QFile::encodeName(QDir::currentPath()).toStdString());

    dvo::app::DvoSubEngine engine;
    dvo::qt::QtMainView window(engine);
    dvo::qt::QtVersionWindow versionWindow(&window.Log());
    window.Form().SetVersionWindow(&versionWindow.Form());
    // The version window and the diagnostics window are created here, hidden, after the main one.
    // The start runs inside the message loop: a search of the start folder keeps the window
    // answering like any other.
    QTimer::singleShot(0, &window,
                       [&window, &startFolder] { window.Form().StartApplication(startFolder); });
    return QApplication::exec();
}
