#include "windowfixture.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>

using namespace Qt::Literals::StringLiterals;

HoofdschermConfig testWindowConfig(const QString& folder) {
    HoofdschermConfig config;
    config.executableFolder = folder;
    config.executableFile = QCoreApplication::applicationFilePath();
    config.trayIcon = false;
    return config;
}

QLineEdit* WindowFixture::edit(const QString& name) const {
    return m_window->findChild<QLineEdit*>(name);
}

QCheckBox* WindowFixture::option(const QString& name) const {
    return m_window->findChild<QCheckBox*>(name);
}

QPushButton* WindowFixture::button(const QString& name) const {
    return m_window->findChild<QPushButton*>(name);
}

void WindowFixture::onOff() const {
    button(u"aanUitButton"_s)->click();
}

QStringList WindowFixture::incoming() const {
    return m_window->logs().incoming().lines();
}

QStringList WindowFixture::status() const {
    return m_window->logs().status().lines();
}

void WindowFixture::connectToPeer() const {
    onOff();
    QTRY_COMPARE(m_peer->connectionCount(), 1);
    QCOMPARE(incoming(), QStringList{u"Verbinding opgebouwd"_s});
}
