#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "common/prompts.h"

/// Answers the program's questions from a script, and records every question asked. Installed
/// for the lifetime of the object. A question with no scripted answer is recorded and answered
/// No / Cancel, so a test never hangs on a box.
class ScriptedPrompts final : public prompts::Handler {
public:
    ScriptedPrompts();
    ~ScriptedPrompts() override;

    void answerNext(prompts::Answer answer) { m_answers.append(answer); }
    /// Runs action while the next message is open, before it is answered: what a real box's
    /// own event loop lets happen meanwhile (frames arriving, timers firing).
    void whileNextIsOpen(std::function<void()> action) { m_whileOpen = std::move(action); }
    void chooseNextFile(const QString& path) { m_files.append(path); }
    void cancelNextFile() { m_files.append(QString()); }
    void chooseNextFolder(const QString& path) { m_folders.append(path); }

    /// Every message shown, in order.
    const QList<prompts::Message>& messages() const { return m_messages; }
    QStringList messageTexts() const;
    /// Titles of the file and folder dialogs shown, in order.
    const QStringList& dialogTitles() const { return m_dialogTitles; }
    void reset();

    prompts::Answer show(const prompts::Message& message) override;
    std::optional<QString> openFile(const QString& title, const QString& folder) override;
    std::optional<QString> chooseFolder(const QString& title, const QString& start) override;

private:
    prompts::Handler* m_previous = nullptr;
    QList<prompts::Answer> m_answers;
    std::function<void()> m_whileOpen;
    QStringList m_files;
    QStringList m_folders;
    QList<prompts::Message> m_messages;
    QStringList m_dialogTitles;
};
