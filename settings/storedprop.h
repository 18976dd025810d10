#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>
#include <functional>

/// One stored value of a window: the control's name, the property's stored name ("Text",
/// "Checked") and how its value is written. The store reaches the value only through get and
/// set, so it knows nothing of widgets.
struct StoredProp {
    enum class Kind { Text, Boolean };

    QString control;
    QString property;
    Kind kind = Kind::Text;
    std::function<QVariant()> get;            ///< a QString or a bool
    std::function<void(const QVariant&)> set; ///< given a QString or a bool

    /// The entries for the children of window found by object name, bound to their Qt property
    /// (e.g. "text", "checked", "plainText"). Entries whose control does not exist are dropped.
    struct Definition {
        QString control;
        QString property;
        Kind kind;
        const char* qtProperty;
    };
    static QList<StoredProp> fromObjects(QObject* window, const QList<Definition>& definitions);
};
