#include "console/dialup/ui/MDialupMessages.h"

void ShowDialupMessage(QWidget* parent, const QString& text, EMessageIcon icon)
{
    SMessage message;
    message.text = text;
    message.title = QString::fromLatin1(kConsoleTitle);
    message.icon = icon;
    CMessageService::Show(message, parent);
}
