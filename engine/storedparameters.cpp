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

QList<StoredProp> boundProps(const QList<MainSetting>& settings, LinkParameters& p) {
    QList<StoredProp> props;
    for (const MainSetting& setting : settings)
        props.append(boundProp(setting, p));
    return props;
}

QStringList ownSettingsFiles(const QString& installationFolder) {
    return {installationFolder + mainSettingsFileName(), installationFolder + extraSettingsFileName(),
            installationFolder + u"RTCPIPCLIENTSMS.xml"_s};
}

StoredParameters StoredParameters::read(const QString& installationFolder) {
    StoredParameters out;
    out.parameters.autoLocatie = installationFolder;
    SettingsStore main(installationFolder, mainSettingsFileName(), u"Hoofdscherm"_s,
                       SettingsStore::Access::ReadOnly);
    main.setStoredProps(boundProps(mainSettings(), out.parameters));
    main.Restore();
    const QList<StoredProp> extraProps = boundProps(extraSettings(), out.parameters);
    main.takeMoved(extraProps);
    SettingsStore extra(installationFolder, extraSettingsFileName(), u"Hoofdscherm"_s,
                        SettingsStore::Access::ReadOnly);
    extra.setStoredProps(extraProps);
    extra.Restore();
    out.filePath = main.filePath();
    out.extraFilePath = extra.filePath();
    QStringList problems;
    for (const QString& problem : {main.problem(), extra.problem()})
        if (!problem.isEmpty())
            problems.append(problem);
    out.problem = problems.join(u'\n');
    return out;
}
