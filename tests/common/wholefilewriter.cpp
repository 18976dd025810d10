// Writes new files without end through the never-overwrite path that the archive, the logs and
// the SMS requests use, each of the given size in MiB and of a known pattern, printing the path
// of each one written: the writer tst_wholefile stops and kills half-way.
//
//   wholefilewriter <folder> <MiB>
#include <QByteArray>
#include <QCoreApplication>
#include <cstdio>

#include "common/newfile.h"

using namespace Qt::Literals::StringLiterals;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fputs("usage: wholefilewriter <folder> <MiB>\n", stderr);
        return 2;
    }
    QByteArray bytes(args.at(2).toLongLong() << 20, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>('A' + i % 23);
    for (;;) {
        const auto written = newfile::write(args.at(1), u"MC_0703202614050939"_s, u".XML"_s, bytes);
        if (!written) {
            std::fprintf(stderr, "%s\n", qPrintable(written.message()));
            return 1;
        }
        std::printf("%s\n", qPrintable(written.value()));
        std::fflush(stdout);
    }
}
