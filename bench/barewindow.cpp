// The baseline process of bench_firstmap: a bare Qt window with the program's widgets, shown the
// way the program shows its own, on whatever display it is given.

#include "barewindow.h"

#include <QApplication>
#include <QMainWindow>
#include <memory>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const std::unique_ptr<QMainWindow> window(bareWindow());
    window->show();
    return app.exec();
}
