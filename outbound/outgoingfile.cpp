#include "outbound/outgoingfile.h"

#include <QDir>

#include "common/apperror.h"
#include "common/textlines.h"
#include "common/writerprobe.h"

using namespace Qt::Literals::StringLiterals;

QString readOutgoingFile(const QString& path) {
    if (writerprobe::probe(path) == writerprobe::State::BeingWritten)
        throw AppError(u"Cannot open file \"%1\". The process cannot access the file because it is being "
                       "used by another process."_s.arg(QDir::toNativeSeparators(path)));
    auto text = textlines::readFile(path);
    if (!text)
        throw AppError(text.message());
    return std::move(text).value();
}
