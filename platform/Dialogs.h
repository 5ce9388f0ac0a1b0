#pragma once

#include <QString>

class QWidget;

namespace qd {

// Every message and question the program puts to the user goes through this
// one interface: the program installs a message-box implementation, tests a
// scripted one that records each call and answers from a queue.

enum class DialogIcon { None, Information, Exclamation, Stop, Question };
enum class DialogButtons { Ok, YesNo, YesNoCancel };
enum class DialogAnswer { Ok, Yes, No, Cancel };

struct DialogRequest {
    QWidget* owner = nullptr;
    QString text;
    QString caption;
    DialogIcon icon = DialogIcon::None;
    DialogButtons buttons = DialogButtons::Ok;
    // The answer Enter gives. A question whose Yes destroys something (an
    // overwrite, a deletion) makes No the default.
    DialogAnswer defaultAnswer = DialogAnswer::Yes;
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual DialogAnswer ask(const DialogRequest& request) = 0;

    // An OK message.
    void tell(QWidget* owner, const QString& text, const QString& caption, DialogIcon icon)
    {
        ask({owner, text, caption, icon, DialogButtons::Ok});
    }
    // An error: an OK message captioned "エラー", with the stop icon unless
    // the message is given another.
    void error(QWidget* owner, const QString& text, DialogIcon icon = DialogIcon::Stop)
    {
        tell(owner, text, QStringLiteral("エラー"), icon);
    }
    // A Yes/No question with the question icon; true for Yes.
    bool confirm(QWidget* owner, const QString& text, const QString& caption)
    {
        return ask({owner, text, caption, DialogIcon::Question, DialogButtons::YesNo}) == DialogAnswer::Yes;
    }
    // A Yes/No/Cancel question with the question icon; Escape answers Cancel.
    DialogAnswer askYesNoCancel(QWidget* owner, const QString& text, const QString& caption)
    {
        return ask({owner, text, caption, DialogIcon::Question, DialogButtons::YesNoCancel});
    }
    // The same for a question whose Yes destroys something: Enter answers No.
    bool confirmDestructive(QWidget* owner, const QString& text, const QString& caption)
    {
        return ask({owner, text, caption, DialogIcon::Question, DialogButtons::YesNo, DialogAnswer::No}) ==
               DialogAnswer::Yes;
    }
};

// The installed implementation. Until one is installed, every question is
// answered No and every message OK, and nothing is shown.
Dialogs& dialogs();
// Installs d (not owned; nullptr restores the silent default) and returns the previous one.
Dialogs* setDialogs(Dialogs* d);

} // namespace qd
