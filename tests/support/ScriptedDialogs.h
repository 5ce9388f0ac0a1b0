#pragma once

#include <QList>
#include <QQueue>

#include "platform/Dialogs.h"

namespace qd::test {

// Records every message and question and answers from a queue (questions
// with No when the queue is empty). Installs itself while it lives.
class ScriptedDialogs final : public Dialogs {
public:
    ScriptedDialogs() { previous_ = setDialogs(this); }
    ~ScriptedDialogs() override { setDialogs(previous_); }

    DialogAnswer ask(const DialogRequest& r) override
    {
        asked.append(r);
        if (!answers.isEmpty())
            return answers.dequeue();
        return r.buttons == DialogButtons::Ok ? DialogAnswer::Ok : DialogAnswer::No;
    }

    QList<DialogRequest> asked;
    QQueue<DialogAnswer> answers;

private:
    Dialogs* previous_ = nullptr;
};

} // namespace qd::test
