#include "settings/storedprop.h"

#include <QPointer>

QList<StoredProp> StoredProp::fromObjects(QObject* window, const QList<Definition>& definitions) {
    QList<StoredProp> props;
    for (const Definition& definition : definitions) {
        QObject* found = window->objectName() == definition.control
                             ? window
                             : window->findChild<QObject*>(definition.control);
        if (!found)
            continue;
        QPointer<QObject> object(found);
        const QByteArray name(definition.qtProperty);
        props.append(
            StoredProp{definition.control, definition.property, definition.kind,
                       [object, name] { return object ? object->property(name.constData()) : QVariant(); },
                       [object, name](const QVariant& value) {
                           if (object)
                               object->setProperty(name.constData(), value);
                       }});
    }
    return props;
}
