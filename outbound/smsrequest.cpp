#include "outbound/smsrequest.h"

#include "common/filestamp.h"
#include "common/newfile.h"
#include "common/textlines.h"

using namespace Qt::Literals::StringLiterals;

namespace smsrequest {

QStringList lines(const SmsRequest& r) {
    QString message = r.bericht;
    message.replace(u"\r\n"_s, u"\n"_s);
    message.replace(u'\n', u"\r\n"_s);
    return {
        u"<?xml version=\"1.0\" ?>"_s,
        u"<MSG tag=\""_s + QString::number(r.tag) + u"\" type=\"COM\" protocol=\"CON_RV\" versie=\"1.0\">"_s,
        u"<Verzender>"_s + r.verzender + u"</Verzender>"_s,
        u"<Ontvanger>"_s + r.ontvanger + u"</Ontvanger>"_s,
        u"<Rovenka>"_s,
        u"<Gebruikersnaam>tavu</Gebruikersnaam>"_s,
        u"<Paswoord>tavu</Paswoord>"_s,
        u"<PakketSoort>SMS_SMSHOSTING_SEND</PakketSoort>"_s,
        u"<smspakketten>"_s,
        u"<smspakket>"_s,
        u"<sms_server>"_s + r.server + u"</sms_server>"_s,
        u"<sms_actie>/isms/send.php?</sms_actie>"_s,
        u"<sms_inlognaam>"_s + r.inlognaam + u"</sms_inlognaam>"_s,
        u"<sms_wachtwoord>"_s + r.wachtwoord + u"</sms_wachtwoord>"_s,
        u"<sms_nummer>"_s + r.nummer + u"</sms_nummer>"_s,
        u"<sms_afzender>"_s + r.afzender + u"</sms_afzender>"_s,
        u"<sms_bericht>"_s + message + u"</sms_bericht>"_s,
        u"</smspakket>"_s,
        u"</smspakketten>"_s,
        u"</RovenkaPakket>"_s,
        u"</Rovenka>"_s,
        u" </MSG>"_s,
    };
}

QByteArray bytes(const SmsRequest& request) {
    return textlines::encodeCrLf(lines(request));
}

Result<QString> write(const QString& folder, const SmsRequest& request, const QDateTime& now) {
    return newfile::write(folder, u"sms_"_s + fileStamp(now, StampOrder::YearFirst), u".xml"_s,
                          bytes(request));
}

} // namespace smsrequest
