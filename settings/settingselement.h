#pragma once

#include <QList>
#include <QPair>
#include <QString>

/// One element of a settings file: a name, its attributes, a text value and child elements.
/// Elements we do not know keep all of this, so a hand-added element is written back as read.
struct SettingsElement {
    QString name;
    QList<QPair<QString, QString>> attributes;
    QString value;
    QList<SettingsElement> children;

    /// The first child of that name, or nullptr.
    SettingsElement* child(const QString& childName);
    const SettingsElement* child(const QString& childName) const;
    /// The first child of that name, appended after its siblings when missing.
    SettingsElement& ensureChild(const QString& childName);

    friend bool operator==(const SettingsElement&, const SettingsElement&) = default;
};
