#include "testsigner.h"

#include <QProcess>

#include "testfiles.h"

using namespace Qt::Literals::StringLiterals;

TestSigner::TestSigner() {
    // -W: a key without a password, so nothing asks on a terminal.
    m_ready = run({u"-G"_s, u"-W"_s, u"-f"_s, u"-p"_s, m_dir.filePath(u"key.pub"_s), u"-s"_s,
                   m_dir.filePath(u"key.sec"_s)});
    if (!m_ready)
        return;
    const QList<QByteArray> lines = readFile(m_dir.filePath(u"key.pub"_s)).split('\n');
    m_publicKey = lines.value(1).trimmed();
    m_ready = m_publicKey.startsWith("RW");
    if (!m_ready)
        m_error = u"minisign wrote no key"_s;
}

bool TestSigner::run(const QStringList& arguments) {
    QProcess minisign;
    minisign.start(u"minisign"_s, arguments);
    minisign.closeWriteChannel();
    if (!minisign.waitForFinished(30000) || minisign.exitStatus() != QProcess::NormalExit ||
        minisign.exitCode() != 0) {
        m_error = u"minisign: %1 %2"_s.arg(minisign.errorString(),
                                           QString::fromLocal8Bit(minisign.readAllStandardError()));
        return false;
    }
    return true;
}

QByteArray TestSigner::sign(const QByteArray& bytes, const QString& trustedComment, bool legacy) {
    const QString file = m_dir.filePath(u"package"_s);
    if (!writeFile(file, bytes))
        return {};
    QStringList arguments{u"-S"_s, u"-s"_s,       m_dir.filePath(u"key.sec"_s), u"-m"_s, file,
                          u"-t"_s, trustedComment};
    if (legacy)
        arguments << u"-l"_s;
    if (!run(arguments))
        return {};
    return readFile(file + u".minisig"_s);
}
