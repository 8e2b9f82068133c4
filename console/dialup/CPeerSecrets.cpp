#include "console/dialup/CPeerSecrets.h"

#include <QStringList>

namespace {

// The first two words of a line as pppd reads them: blanks between words,
// double or single quotes around one, a backslash taking the next character
// as it is, "#" outside a word ending the line.
QStringList LeadingWords(const QString& line)
{
    QStringList words;
    qsizetype i = 0;
    while (words.size() < 2 && i < line.size()) {
        while (i < line.size() && line.at(i).isSpace())
            ++i;
        if (i >= line.size() || line.at(i) == u'#')
            break;
        QString word;
        QChar quote;
        for (; i < line.size(); ++i) {
            const QChar c = line.at(i);
            if (c == u'\\' && i + 1 < line.size()) {
                word += line.at(++i);
            } else if (!quote.isNull()) {
                if (c == quote)
                    quote = QChar();
                else
                    word += c;
            } else if (c == u'"' || c == u'\'') {
                quote = c;
            } else if (c.isSpace()) {
                break;
            } else {
                word += c;
            }
        }
        words << word;
    }
    return words;
}

QString Quoted(const QString& text)
{
    QString escaped = text;
    escaped.replace(u'\\', QStringLiteral("\\\\"));
    escaped.replace(u'"', QStringLiteral("\\\""));
    return u'"' + escaped + u'"';
}

} // namespace

bool CPeerSecrets::IsUserLine(const QString& line, const QString& user)
{
    const QStringList words = LeadingWords(line);
    return words.size() == 2 && words.at(0) == user && words.at(1) == QStringLiteral("*");
}

QString CPeerSecrets::WithSecret(const QString& text, const QString& user, const QString& password)
{
    const QString own = Quoted(user) + QStringLiteral(" * ") + Quoted(password);
    QStringList lines = text.split(u'\n');
    bool written = false;
    for (qsizetype i = 0; i < lines.size();) {
        if (!IsUserLine(lines.at(i), user)) {
            ++i;
        } else if (!written) {
            lines[i++] = own;
            written = true;
        } else {
            lines.removeAt(i);
        }
    }
    if (written)
        return lines.join(u'\n');
    QString result = text;
    if (!result.isEmpty() && !result.endsWith(u'\n'))
        result += u'\n';
    return result + own + u'\n';
}

QString CPeerSecrets::WithoutUser(const QString& text, const QString& user)
{
    QStringList lines = text.split(u'\n');
    lines.removeIf([&user](const QString& line) { return IsUserLine(line, user); });
    return lines.join(u'\n');
}
