#include "settings/settingselement.h"

SettingsElement* SettingsElement::child(const QString& childName) {
    for (SettingsElement& c : children)
        if (c.name == childName)
            return &c;
    return nullptr;
}

const SettingsElement* SettingsElement::child(const QString& childName) const {
    for (const SettingsElement& c : children)
        if (c.name == childName)
            return &c;
    return nullptr;
}

SettingsElement& SettingsElement::ensureChild(const QString& childName) {
    if (SettingsElement* existing = child(childName))
        return *existing;
    children.append(SettingsElement{childName, {}, {}, {}});
    return children.last();
}
