#include "childprocess.h"

ChildProcess::ChildProcess(QObject* parent)
    : QProcess(parent) {}

ChildProcess::~ChildProcess() {
    if (state() != NotRunning) {
        kill();
        waitForFinished(5000);
    }
}

QByteArray ChildProcess::output() {
    m_output += readAllStandardOutput();
    return m_output;
}

QByteArray ChildProcess::errors() {
    m_errors += readAllStandardError();
    return m_errors;
}
