#include "common/ui/widgetprompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

using namespace Qt::Literals::StringLiterals;

namespace {

// A message may join its lines with a lone CR, as the system's own texts do; a label draws a
// lone CR as a blank, so every CR, CR LF and LF becomes one line break on screen only.
QString shownText(QString text) {
    text.replace(u"\r\n"_s, u"\n"_s);
    text.replace(u'\r', u'\n');
    return text;
}

} // namespace

prompts::Answer WidgetPrompts::show(const prompts::Message& message) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(message.title.isEmpty() ? m_defaultTitle : message.title);
    box.setText(shownText(message.text));
    switch (message.icon) {
    case prompts::Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case prompts::Icon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case prompts::Icon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case prompts::Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    if (message.buttons == prompts::Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    box.raise();
    box.activateWindow();
    switch (box.exec()) {
    case QMessageBox::Yes:
        return prompts::Answer::Yes;
    case QMessageBox::No:
        return prompts::Answer::No;
    case QMessageBox::Ok:
        return prompts::Answer::Ok;
    default:
        return prompts::Answer::Cancel;
    }
}

std::optional<QString> WidgetPrompts::openFile(const QString& title, const QString& folder) {
    const QString path = QFileDialog::getOpenFileName(QApplication::activeWindow(), title, folder);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}

std::optional<QString> WidgetPrompts::chooseFolder(const QString& title, const QString& start) {
    const QString path = QFileDialog::getExistingDirectory(QApplication::activeWindow(), title, start);
    if (path.isEmpty())
        return std::nullopt;
    return path;
}
