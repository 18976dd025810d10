#include "engine/storedparameters.h"

#include "settings/settingsstore.h"

using namespace Qt::Literals::StringLiterals;

StoredProp boundProp(const MainSetting& setting, LinkParameters& p) {
    StoredProp prop;
    prop.control = setting.control;
    prop.property = setting.property;
    prop.kind = setting.isBoolean() ? StoredProp::Kind::Boolean : StoredProp::Kind::Text;
    std::visit(
        [&prop, &p](auto member) {
            prop.get = [&p, member] {
                return QVariant(p.*member);
            };
            prop.set = [&p, member](const QVariant& value) {
                p.*member = value.value<std::remove_reference_t<decltype(p.*member)>>();
            };
        },
        setting.member);
    return prop;
}

StoredParameters StoredParameters::read(const QString& installationFolder) {
    StoredParameters out;
    out.parameters.autoLocatie = installationFolder;
    SettingsStore store(installationFolder, u"RTCPIPCLIENT.xml"_s, u"Hoofdscherm"_s,
                        SettingsStore::Access::ReadOnly);
    QList<StoredProp> props;
    for (const MainSetting& setting : mainSettings())
        props.append(boundProp(setting, out.parameters));
    store.setStoredProps(props);
    store.Restore();
    out.filePath = store.filePath();
    out.problem = store.problem();
    return out;
}
