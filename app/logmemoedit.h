#pragma once

#include <QPlainTextEdit>

class QTextCursor;

/// A read-only memo of a traffic log. A long line is laid out as several display blocks (a
/// block is laid out whole, and a 1 MiB block takes a second); the blocks that go on the line
/// before them carry kContinued, so the text the operator copies is the log's own text.
class LogMemoEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    /// QTextBlock::userState of a display block that continues the line of the block before it.
    static constexpr int kContinued = 1;

    explicit LogMemoEdit(QWidget* parent = nullptr);

    /// The whole memo as the operator copies it: lines separated by LF, display blocks joined.
    QString text() const;

    /// The selected part of a memo's document as the operator copies it.
    static QString copiedText(const QTextCursor& selection);

protected:
    QMimeData* createMimeDataFromSelection() const override;
};
