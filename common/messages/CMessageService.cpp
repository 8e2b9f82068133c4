#include "common/messages/CMessageService.h"

#include <QMessageBox>

CMessageService::Handler& CMessageService::CurrentHandler()
{
    static Handler handler;
    return handler;
}

CMessageService::Handler CMessageService::SetHandler(Handler handler)
{
    return std::exchange(CurrentHandler(), std::move(handler));
}

EMessageResult CMessageService::Show(const SMessage& message, QWidget* parent)
{
    if (const Handler& handler = CurrentHandler())
        return handler(message);

    QMessageBox box(parent);
    box.setWindowTitle(message.title);
    box.setText(message.text);
    switch (message.icon) {
    case EMessageIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    case EMessageIcon::Question: box.setIcon(QMessageBox::Question); break;
    case EMessageIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case EMessageIcon::Information: box.setIcon(QMessageBox::Information); break;
    case EMessageIcon::None: break;
    }
    if (message.buttons == EMessageButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        return box.exec() == QMessageBox::Yes ? EMessageResult::Yes : EMessageResult::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return EMessageResult::Ok;
}
