#pragma once

#include <QProcess>
#include <QString>

/// Another process in the middle of writing a file: it opens path for appending, writes "<MSG>"
/// and keeps the file open until finish(), which lets it add "</MSG>" and end. What it shows is a
/// writer the program cannot see through its own file handles.
class SlowWriter {
public:
    explicit SlowWriter(const QString& path);
    /// Ends a writer that is still running, so no test leaves one behind.
    ~SlowWriter();
    SlowWriter(const SlowWriter&) = delete;
    SlowWriter& operator=(const SlowWriter&) = delete;

    /// True once the process runs and its first bytes are in the file (waits up to 5 s).
    [[nodiscard]] bool started();
    /// Lets it write the rest and close the file; true when it ended within 30 s.
    [[nodiscard]] bool finish();

private:
    QString m_path;
    QProcess m_process;
};
