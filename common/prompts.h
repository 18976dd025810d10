#pragma once

#include <QString>
#include <optional>

/// Every modal question the program asks (message boxes, file and folder dialogs) passes through
/// here. The application installs a handler that shows real dialogs; tests install one that
/// answers from a script. Without a handler nothing is shown: messages answer No/Cancel and
/// dialogs answer "cancelled", so logic never blocks on a box nobody can see.
namespace prompts {

enum class Icon { Information, Warning, Error, Question };
enum class Buttons { Ok, YesNo };
enum class Answer { Ok, Yes, No, Cancel };

struct Message {
    Icon icon = Icon::Information;
    Buttons buttons = Buttons::Ok;
    QString title; ///< empty: the application's title
    QString text;
};

class Handler {
public:
    virtual ~Handler() = default;
    virtual Answer show(const Message& message) = 0;
    /// The chosen file's path, or nothing when cancelled.
    virtual std::optional<QString> openFile(const QString& title, const QString& folder) = 0;
    /// The chosen folder's path, or nothing when cancelled.
    virtual std::optional<QString> chooseFolder(const QString& title, const QString& start) = 0;
};

/// Installs handler (not owned); nullptr removes it.
void setHandler(Handler* handler);
Handler* handler();

Answer show(const Message& message);
void information(const QString& text, const QString& title = {});
void warning(const QString& text, const QString& title = {});
void error(const QString& text, const QString& title = {});
/// A confirmation with Yes and No; true for Yes.
bool confirm(const QString& text, const QString& title = {});
std::optional<QString> openFile(const QString& title, const QString& folder = {});
std::optional<QString> chooseFolder(const QString& title, const QString& start = {});

} // namespace prompts
