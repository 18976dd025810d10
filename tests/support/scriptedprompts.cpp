#include "scriptedprompts.h"

#include <utility>

ScriptedPrompts::ScriptedPrompts()
    : m_previous(prompts::handler()) {
    prompts::setHandler(this);
}

ScriptedPrompts::~ScriptedPrompts() {
    prompts::setHandler(m_previous);
}

QStringList ScriptedPrompts::messageTexts() const {
    QStringList texts;
    for (const auto& m : m_messages)
        texts << m.text;
    return texts;
}

void ScriptedPrompts::reset() {
    m_answers.clear();
    m_whileOpen = {};
    m_files.clear();
    m_folders.clear();
    m_messages.clear();
    m_dialogTitles.clear();
}

prompts::Answer ScriptedPrompts::show(const prompts::Message& message) {
    m_messages.append(message);
    if (m_whileOpen)
        std::exchange(m_whileOpen, {})();
    if (!m_answers.isEmpty())
        return m_answers.takeFirst();
    return message.buttons == prompts::Buttons::YesNo ? prompts::Answer::No : prompts::Answer::Ok;
}

std::optional<QString> ScriptedPrompts::openFile(const QString& title, const QString&) {
    m_dialogTitles.append(title);
    if (m_files.isEmpty())
        return std::nullopt;
    const QString path = m_files.takeFirst();
    if (path.isNull())
        return std::nullopt;
    return path;
}

std::optional<QString> ScriptedPrompts::chooseFolder(const QString& title, const QString&) {
    m_dialogTitles.append(title);
    if (m_folders.isEmpty())
        return std::nullopt;
    return m_folders.takeFirst();
}
