#include "settingsfiles.h"

namespace settingsfiles {

namespace {

QByteArray entry(const QByteArray& name, const QByteArray& value) {
    return "    <" + name + ">" + value + "</" + name + ">\r\n";
}

QByteArray file(const QByteArray& inside) {
    return "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Configuration>\r\n  <Hoofdscherm>\r\n"
           "    <FormVersion>0</FormVersion>\r\n" +
           inside + "  </Hoofdscherm>\r\n</Configuration>\r\n";
}

QByteArray designEntries(const QByteArray& folder) {
    QByteArray out = entry("edtHost_Text", "127.0.0.1") + entry("edtPoort_Text", "4000");
    for (const char* name :
         {"EOT", "SOH", "STX", "ToonHex", "enc64ontvangst", "enc64verzenden", "AutoConnect", "AutoBestanden"})
        out += entry(QByteArray(name) + "_Checked", "FALSE");
    out += entry("AutoLocatie_Text", folder);
    for (const char* name : {"ACKDisconnect", "Logbewaren"})
        out += entry(QByteArray(name) + "_Checked", "FALSE");
    return out + entry("XMLBestandenBewaren_Checked", "TRUE");
}

} // namespace

QByteArray firstStart(const QByteArray& folder) {
    return file(designEntries(folder));
}

QByteArray withExtrasInside(const QByteArray& folder, const Entries& extras) {
    QByteArray inside = designEntries(folder);
    const Entries defaults{{"BevestigdAfleveren_Checked", "FALSE"}, {"BevestigingsTijd_Text", "30"},
                           {"WachtWaarschuwing_Text", "60"},        {"InspecteurAantal_Text", "1000"},
                           {"TijdInLogboeken_Checked", "FALSE"},    {"TijdInLogbestanden_Checked", "FALSE"}};
    for (const auto& [name, value] : defaults) {
        QByteArray given = value;
        for (const auto& [extraName, extraValue] : extras)
            if (extraName == name)
                given = extraValue;
        inside += entry(name, given);
    }
    return file(inside);
}

QByteArray extraFile(const Entries& entries) {
    QByteArray inside;
    for (const auto& [name, value] : entries)
        inside += entry(name, value);
    return file(inside);
}

QByteArray nested(int levels) {
    QByteArray out = "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<Configuration>";
    for (int i = 1; i < levels; ++i)
        out += "<a>";
    for (int i = 1; i < levels; ++i)
        out += "</a>";
    return out + "</Configuration>\r\n";
}

} // namespace settingsfiles
