#pragma once

#include <QByteArray>
#include <QProcess>

/// A program a test starts, keeping everything it printed so far: QProcess hands each byte out
/// once, while a test waits on the whole of it (QTRY_VERIFY(child.output().contains(...))).
class ChildProcess : public QProcess {
public:
    explicit ChildProcess(QObject* parent = nullptr);
    /// Ends a program that is still running with SIGKILL, so no test leaves one behind.
    ~ChildProcess() override;

    QByteArray output();
    QByteArray errors();

private:
    QByteArray m_output;
    QByteArray m_errors;
};
