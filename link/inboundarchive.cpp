#include "link/inboundarchive.h"

#include "common/filestamp.h"
#include "common/newfile.h"

using namespace Qt::Literals::StringLiterals;

InboundArchive::InboundArchive(QString xmlFolder, Clock clock)
    : m_folder(std::move(xmlFolder))
    , m_clock(std::move(clock)) {}

Result<QString> InboundArchive::archive(QByteArrayView block) {
    const Result<QByteArray> bytes = framereader::decodedPayload(block);
    if (!bytes)
        return bytes.failure();
    Result<QString> written = newfile::write(m_folder, u"MC_"_s + fileStamp(m_clock(), StampOrder::DayFirst),
                                             u".XML"_s, bytes.value());
    if (!written)
        return Failure{NotWritten, written.message()};
    return written;
}
