#pragma once

#include "common/messages/CMessageService.h"

#include <QString>

class QWidget;

// The title of the console's message boxes.
inline constexpr const char* kConsoleTitle = "Pelion";

// Shows a message box of the console's dial-up dialogs, titled "Pelion".
void ShowDialupMessage(QWidget* parent, const QString& text, EMessageIcon icon);
