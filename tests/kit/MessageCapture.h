#pragma once

#include "common/messages/CMessageService.h"

#include <QList>
#include <QStringList>

// Takes every message box of the test process for as long as it lives: each
// is recorded and answered from the queue of answers (Yes to a question, Ok
// otherwise, once the queue is empty).
class CMessageCapture final {
public:
    CMessageCapture()
    {
        m_previous = CMessageService::SetHandler([this](const SMessage& message) {
            m_shown.append(message);
            if (!m_answers.isEmpty())
                return m_answers.takeFirst();
            return message.buttons == EMessageButtons::YesNo ? EMessageResult::Yes
                                                             : EMessageResult::Ok;
        });
    }
    ~CMessageCapture() { CMessageService::SetHandler(m_previous); }
    CMessageCapture(const CMessageCapture&) = delete;
    CMessageCapture& operator=(const CMessageCapture&) = delete;

    const QList<SMessage>& Shown() const { return m_shown; }
    QStringList Texts() const
    {
        QStringList texts;
        for (const SMessage& message : m_shown)
            texts.append(message.text);
        return texts;
    }
    void Answer(EMessageResult answer) { m_answers.append(answer); }
    void Clear() { m_shown.clear(); }

private:
    CMessageService::Handler m_previous;
    QList<SMessage> m_shown;
    QList<EMessageResult> m_answers;
};
