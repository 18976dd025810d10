#include "app/logmemoedit.h"

#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

LogMemoEdit::LogMemoEdit(QWidget* parent)
    : QPlainTextEdit(parent) {}

QString LogMemoEdit::text() const {
    QTextCursor all(document());
    all.select(QTextCursor::Document);
    return copiedText(all);
}

QString LogMemoEdit::copiedText(const QTextCursor& selection) {
    const int from = selection.selectionStart();
    const int to = selection.selectionEnd();
    QString out;
    if (from == to)
        return out;
    // Raw block text: QTextDocumentFragment would turn a received no-break space into a blank.
    for (QTextBlock block = selection.document()->findBlock(from); block.isValid() && block.position() <= to;
         block = block.next()) {
        const int begin = block.position();
        if (begin > from && block.userState() != kContinued)
            out += u'\n';
        const int start = std::max(from, begin);
        const int end = std::min(to, begin + block.length() - 1);
        if (end > start)
            out += QStringView(block.text()).sliced(start - begin, end - start);
    }
    return out;
}

QMimeData* LogMemoEdit::createMimeDataFromSelection() const {
    auto* data = new QMimeData;
    data->setText(copiedText(textCursor()));
    return data;
}
