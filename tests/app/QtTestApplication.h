#pragma once
// One QApplication for a GoogleTest binary, made on first use and kept (reachable) to the end.
#include <QApplication>
#include <QDeadlineTimer>

namespace dvo::test {

inline QApplication& TestApplication() {
    static int argc = 1;
    static char name[] = "app_qt_tests";
    static char* argv[] = {name, nullptr};
    static auto* application = new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return *application;
}

// Runs the message loop until the window's work in slices (the tree's levels loading after a
// search, shown by the busy cursor) has ended; at most ten seconds.
inline void RunSlicesToTheEnd() {
    const QDeadlineTimer deadline(10000);
    while (QGuiApplication::overrideCursor() != nullptr && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

} // namespace dvo::test
