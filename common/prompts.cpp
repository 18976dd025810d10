#include "common/prompts.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcPrompts, "prompts")

namespace prompts {

namespace {
Handler* g_handler = nullptr;
}

void setHandler(Handler* handler) {
    g_handler = handler;
}
Handler* handler() {
    return g_handler;
}

Answer show(const Message& message) {
    if (!g_handler) {
        qCInfo(lcPrompts) << "unanswered message:" << message.text;
        return message.buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
    }
    return g_handler->show(message);
}

void information(const QString& text, const QString& title) {
    std::ignore = show({Icon::Information, Buttons::Ok, title, text});
}

void warning(const QString& text, const QString& title) {
    std::ignore = show({Icon::Warning, Buttons::Ok, title, text});
}

void error(const QString& text, const QString& title) {
    std::ignore = show({Icon::Error, Buttons::Ok, title, text});
}

bool confirm(const QString& text, const QString& title) {
    return show({Icon::Question, Buttons::YesNo, title, text}) == Answer::Yes;
}

std::optional<QString> openFile(const QString& title, const QString& folder) {
    if (!g_handler)
        return std::nullopt;
    return g_handler->openFile(title, folder);
}

std::optional<QString> chooseFolder(const QString& title, const QString& start) {
    if (!g_handler)
        return std::nullopt;
    return g_handler->chooseFolder(title, start);
}

} // namespace prompts
