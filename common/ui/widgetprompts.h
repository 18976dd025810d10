#pragma once

#include "common/prompts.h"

/// Shows the questions as real modal dialogs, parented to the active window so they come to the
/// front of the application.
class WidgetPrompts final : public prompts::Handler {
public:
    /// defaultTitle captions every message box that names no title of its own.
    explicit WidgetPrompts(QString defaultTitle)
        : m_defaultTitle(std::move(defaultTitle)) {}

    prompts::Answer show(const prompts::Message& message) override;
    std::optional<QString> openFile(const QString& title, const QString& folder) override;
    std::optional<QString> chooseFolder(const QString& title, const QString& start) override;

private:
    QString m_defaultTitle;
};
