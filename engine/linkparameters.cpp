#include "engine/linkparameters.h"

#include <algorithm>

#include "common/leadingnumber.h"
#include "engine/storedparameters.h"

using namespace Qt::Literals::StringLiterals;

const QList<MainSetting>& mainSettings() {
    static const QList<MainSetting> table = {
        {u"edtHost"_s, u"Text"_s, &LinkParameters::host},
        {u"edtPoort"_s, u"Text"_s, &LinkParameters::portText},
        {u"EOT"_s, u"Checked"_s, &LinkParameters::eot},
        {u"SOH"_s, u"Checked"_s, &LinkParameters::soh},
        {u"STX"_s, u"Checked"_s, &LinkParameters::stx},
        {u"ToonHex"_s, u"Checked"_s, &LinkParameters::toonHex},
        {u"enc64ontvangst"_s, u"Checked"_s, &LinkParameters::enc64ontvangst},
        {u"enc64verzenden"_s, u"Checked"_s, &LinkParameters::enc64verzenden},
        {u"AutoConnect"_s, u"Checked"_s, &LinkParameters::autoConnect},
        {u"AutoBestanden"_s, u"Checked"_s, &LinkParameters::autoBestanden},
        {u"AutoLocatie"_s, u"Text"_s, &LinkParameters::autoLocatie},
        {u"ACKDisconnect"_s, u"Checked"_s, &LinkParameters::ackDisconnect},
        {u"Logbewaren"_s, u"Checked"_s, &LinkParameters::logbewaren},
        {u"XMLBestandenBewaren"_s, u"Checked"_s, &LinkParameters::xmlBestandenBewaren},
    };
    return table;
}

const QList<MainSetting>& extraSettings() {
    static const QList<MainSetting> table = {
        {u"BevestigdAfleveren"_s, u"Checked"_s, &LinkParameters::bevestigdAfleveren},
        {u"BevestigingsTijd"_s, u"Text"_s, &LinkParameters::bevestigingsTijd},
        {u"PakketIsBevestiging"_s, u"Checked"_s, &LinkParameters::pakketIsBevestiging},
        {u"MaxBestandsGrootte"_s, u"Text"_s, &LinkParameters::maxBestandsGrootte},
        {u"WachtWaarschuwing"_s, u"Text"_s, &LinkParameters::wachtWaarschuwing},
        {u"InspecteurAantal"_s, u"Text"_s, &LinkParameters::inspecteurAantal},
        {u"TijdInLogboeken"_s, u"Checked"_s, &LinkParameters::tijdInLogboeken},
        {u"TijdInLogbestanden"_s, u"Checked"_s, &LinkParameters::tijdInLogbestanden},
    };
    return table;
}

namespace {
std::int64_t nonNegative(const QString& text) {
    return std::max<std::int64_t>(0, leadingNumber(text));
}
} // namespace

std::chrono::milliseconds LinkParameters::confirmationWait() const {
    return std::chrono::seconds(nonNegative(bevestigingsTijd));
}

std::chrono::milliseconds LinkParameters::outboxWarnAfter() const {
    return std::chrono::seconds(nonNegative(wachtWaarschuwing));
}

int LinkParameters::frameLogCapacity() const {
    return int(std::min<std::int64_t>(nonNegative(inspecteurAantal), 1'000'000));
}

qint64 LinkParameters::outboxSizeLimit() const {
    // Bounded so that the product fits; a limit of a terabyte is no limit worth keeping apart.
    return std::min<std::int64_t>(nonNegative(maxBestandsGrootte), std::int64_t(1) << 20) << 20;
}
