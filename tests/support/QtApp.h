#pragma once

#include <QCoreApplication>
#include <QGuiApplication>

namespace qd::test {

// Makes the one Qt application object of the test program on first call and
// keeps it to the end (icons and pixmaps need a QGuiApplication, widgets a
// QApplication: pass that type where widgets are tested). Returns it.
template <class App = QGuiApplication>
QCoreApplication* ensureApp()
{
    static int argc = 1;
    static char name[] = "qd_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = QCoreApplication::instance() ? QCoreApplication::instance() : new App(argc, argv);
    return app;
}

} // namespace qd::test
