#pragma once

#include "common/messages/CMessageService.h"
#include "console/ui/FMain.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QList>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <functional>

// Takes every message box of the test process for as long as it lives: each
// is recorded, and answered from the queue of answers (Yes to a question,
// Ok otherwise, when the queue is empty).
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
    void Answer(EMessageResult answer) { m_answers.append(answer); }
    void Clear() { m_shown.clear(); }

private:
    CMessageService::Handler m_previous;
    QList<SMessage> m_shown;
    QList<EMessageResult> m_answers;
};

// Acts on the next modal dialog once it is up (a modal dialog runs its own
// event loop, so the test reaches it from a timer). A dialog that act left
// open (a check in it failed) is closed, so the test goes on to report it.
// Gives up after 10 s.
inline void WhenModal(std::function<void(QWidget*)> act)
{
    auto* timer = new QTimer;
    auto remaining = std::make_shared<int>(1000);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, remaining, act = std::move(act)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            const QPointer<QWidget> dialog = modal;
            act(modal);
            if (dialog && dialog->isVisible())
                dialog->close();
        } else if (--*remaining <= 0) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

// A web root with the first page of the guide.
class CTestWebRoot final {
public:
    CTestWebRoot()
    {
        QDir().mkpath(m_folder.filePath(QStringLiteral("wwwRoot/help")));
        QFile page(Path() + QStringLiteral("/help/index.html"));
        if (page.open(QIODevice::WriteOnly))
            page.write("<!DOCTYPE html><html><body>Guide</body></html>\n");
    }
    QString Path() const { return m_folder.filePath(QStringLiteral("wwwRoot")); }
    QString Missing() const { return m_folder.filePath(QStringLiteral("no-such-folder")); }

private:
    QTemporaryDir m_folder;
};

// The window's commands, enabled (1) or not: the Connect, Browser and
// Options buttons, then the tray's Connect, Disconnect, Rescue and Browser.
inline QString Look(const FMain& window)
{
    QString look;
    for (const char* key : {FMain::kKeyConnect, FMain::kKeyBrowser, FMain::kKeyOptions})
        look += window.ToolButton(QLatin1String(key))->isEnabled() ? '1' : '0';
    for (int item = FMain::kTrayConnect; item <= FMain::kTrayBrowser; ++item)
        look += window.mnuTray(item)->isEnabled() ? '1' : '0';
    return look;
}
