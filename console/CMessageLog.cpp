#include "console/CMessageLog.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const char* const kTitle = "title";
const char* const kIcon = "icon";
const char* const kButtons = "buttons";
const char* const kText = "text";

} // namespace

QByteArray CMessageLog::ToLine(const SMessage& message)
{
    const QJsonObject object{{QLatin1String(kTitle), message.title},
                             {QLatin1String(kIcon), static_cast<int>(message.icon)},
                             {QLatin1String(kButtons), static_cast<int>(message.buttons)},
                             {QLatin1String(kText), message.text}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

void CMessageLog::Install(const QString& path)
{
    CMessageService::SetHandler([path](const SMessage& message) {
        QFile file(path);
        if (file.open(QIODevice::Append))
            file.write(ToLine(message));
        return message.buttons == EMessageButtons::YesNo ? EMessageResult::No : EMessageResult::Ok;
    });
}

QList<SMessage> CMessageLog::Read(const QString& path)
{
    QList<SMessage> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return messages;
    while (!file.atEnd()) {
        const QJsonObject object = QJsonDocument::fromJson(file.readLine()).object();
        if (object.isEmpty())
            continue;
        SMessage message;
        message.title = object.value(QLatin1String(kTitle)).toString();
        message.icon = static_cast<EMessageIcon>(object.value(QLatin1String(kIcon)).toInt());
        message.buttons =
            static_cast<EMessageButtons>(object.value(QLatin1String(kButtons)).toInt());
        message.text = object.value(QLatin1String(kText)).toString();
        messages.append(message);
    }
    return messages;
}
