#include "settings/storedprop.h"

#include <QPointer>

QList<StoredProp> StoredProp::fromObjects(QObject* window, const QList<Spec>& specs) {
    QList<StoredProp> props;
    for (const Spec& spec : specs) {
        QObject* found =
            window->objectName() == spec.control ? window : window->findChild<QObject*>(spec.control);
        if (!found)
            continue;
        QPointer<QObject> object(found);
        const QByteArray name(spec.qtProperty);
        props.append(
            StoredProp{spec.control, spec.property, spec.kind,
                       [object, name] { return object ? object->property(name.constData()) : QVariant(); },
                       [object, name](const QVariant& value) {
                           if (object)
                               object->setProperty(name.constData(), value);
                       }});
    }
    return props;
}
