#include "benchwindow.h"

#include <QCoreApplication>

HoofdschermConfig benchWindowConfig(const QString& folder) {
    HoofdschermConfig config;
    config.executableFolder = folder;
    config.executableFile = QCoreApplication::applicationFilePath();
    config.trayIcon = false;
    return config;
}
