#include "slowwriter.h"

#include <QFile>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

SlowWriter::SlowWriter(const QString& path)
    : m_path(path) {
    // The shell holds descriptor 3 open for writing until a line arrives on its standard input.
    m_process.start(u"/bin/sh"_s,
                    {u"-c"_s, u"exec 3>>\"$0\"; printf '<MSG>' >&3; read line; printf '</MSG>' >&3"_s, path});
}

SlowWriter::~SlowWriter() {
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool SlowWriter::started() {
    return m_process.waitForStarted() && QTest::qWaitFor([this] { return QFile(m_path).size() > 0; }, 5000);
}

bool SlowWriter::finish() {
    m_process.write("done\n");
    m_process.closeWriteChannel();
    return m_process.waitForFinished();
}
