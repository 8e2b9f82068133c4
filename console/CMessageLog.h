#pragma once

#include "common/messages/CMessageService.h"

#include <QList>
#include <QString>

// Takes every message of the process into a file instead of the screen, for
// tests of the whole program, which cannot click a message box: one JSON
// object a line with the title, the style, the buttons and the text. Each
// message is answered at once: OK, or No to a question.
class CMessageLog final {
public:
    // Installs the log as the message service's handler.
    static void Install(const QString& path);

    // The messages a log holds, in order; empty when there is none.
    static QList<SMessage> Read(const QString& path);

    // One message as its line.
    static QByteArray ToLine(const SMessage& message);
};
