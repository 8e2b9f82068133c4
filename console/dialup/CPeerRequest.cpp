#include "console/dialup/CPeerRequest.h"

#include <QMap>
#include <QStringList>

#include <array>

namespace {

struct SOperationWord {
    CPeerRequest::EOperation operation;
    const char* word;
};
constexpr std::array kOperations = {SOperationWord{CPeerRequest::EOperation::Create, "create"},
                                    SOperationWord{CPeerRequest::EOperation::Write, "write"},
                                    SOperationWord{CPeerRequest::EOperation::Remove, "remove"}};

const QStringList& SettingKeys()
{
    static const QStringList keys{"device", "speed", "modem", "phone",   "init",
                                  "user",   "local", "flow",  "password"};
    return keys;
}

} // namespace

QByteArray CPeerRequest::Encode() const
{
    QStringList lines;
    for (const SOperationWord& op : kOperations) {
        if (op.operation == operation)
            lines << QStringLiteral("op=") + QLatin1StringView(op.word);
    }
    lines << QStringLiteral("entry=") + entry;
    if (operation != EOperation::Remove) {
        const SPeerSettings& s = settings;
        lines << QStringLiteral("device=") + s.device
              << QStringLiteral("speed=") + QString::number(s.speed)
              << QStringLiteral("modem=") + (s.modem ? u'1' : u'0')
              << QStringLiteral("phone=") + s.phoneNumber << QStringLiteral("init=") + s.initString
              << QStringLiteral("user=") + s.userName << QStringLiteral("local=") + s.localAddress;
        lines << QStringLiteral("flow=") + CPeerEntry::FlowControlWord(s.flowControl)
              << QStringLiteral("password=") + password;
    }
    return (lines.join(u'\n') + u'\n').toUtf8();
}

std::optional<CPeerRequest> CPeerRequest::Decode(const QByteArray& text, QString& error)
{
    QMap<QString, QString> values;
    QStringList lines = QString::fromUtf8(text).split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (const QString& line : std::as_const(lines)) {
        const qsizetype equals = line.indexOf(u'=');
        const QString key = line.left(equals);
        if (equals <= 0
            || (key != QStringLiteral("op") && key != QStringLiteral("entry")
                && !SettingKeys().contains(key))) {
            error = QStringLiteral("line %1 is no known key=value").arg(values.size() + 1);
            return std::nullopt;
        }
        if (values.contains(key)) {
            error = QStringLiteral("%1 given twice").arg(key);
            return std::nullopt;
        }
        values.insert(key, line.mid(equals + 1));
    }
    CPeerRequest request;
    bool known = false;
    for (const SOperationWord& op : kOperations) {
        if (values.value(QStringLiteral("op")) == QLatin1StringView(op.word)) {
            request.operation = op.operation;
            known = true;
        }
    }
    if (!known || !values.contains(QStringLiteral("entry"))) {
        error = QStringLiteral("op (create, write or remove) and entry are needed");
        return std::nullopt;
    }
    request.entry = values.value(QStringLiteral("entry"));
    if (request.operation == EOperation::Remove) {
        if (values.size() != 2) {
            error = QStringLiteral("remove takes op and entry only");
            return std::nullopt;
        }
        return request;
    }
    for (const QString& key : SettingKeys()) {
        if (!values.contains(key)) {
            error = QStringLiteral("%1 is missing").arg(key);
            return std::nullopt;
        }
    }
    SPeerSettings& s = request.settings;
    s.device = values.value(QStringLiteral("device"));
    bool number = false;
    s.speed = values.value(QStringLiteral("speed")).toInt(&number);
    const QString modem = values.value(QStringLiteral("modem"));
    s.modem = modem == QStringLiteral("1");
    s.phoneNumber = values.value(QStringLiteral("phone"));
    s.initString = values.value(QStringLiteral("init"));
    s.userName = values.value(QStringLiteral("user"));
    s.localAddress = values.value(QStringLiteral("local"));
    const std::optional<EFlowControl> flow =
        CPeerEntry::FlowControlOf(values.value(QStringLiteral("flow")));
    s.flowControl = flow.value_or(EFlowControl::Hardware);
    if (!number || (modem != QStringLiteral("0") && modem != QStringLiteral("1")) || !flow) {
        error = QStringLiteral("speed, modem or flow is no value of theirs");
        return std::nullopt;
    }
    request.password = values.value(QStringLiteral("password"));
    return request;
}

QString CPeerRequest::Check() const
{
    QString problem = CPeerEntry::ValidateName(entry);
    if (problem.isEmpty() && operation != EOperation::Remove) {
        problem = CPeerEntry::Validate(settings);
        if (problem.isEmpty())
            problem = CPeerEntry::ValidatePassword(password, settings.userName);
    }
    return problem;
}
