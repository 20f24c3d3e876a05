#pragma once
// One QApplication for a GoogleTest binary, made on first use and kept (reachable) to the end.
#include <QApplication>

namespace dvo::test {

inline QApplication& TestApplication() {
    static int argc = 1;
    static char name[] = "app_qt_tests";
    static char* argv[] = {name, nullptr};
    static auto* application = new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return *application;
}

} // namespace dvo::test
