#include "common/messages/CMessageService.h"

#include <QMessageBox>
#include <QStringList>

CMessageService::Handler& CMessageService::CurrentHandler()
{
    static Handler handler;
    return handler;
}

CMessageService::Handler CMessageService::SetHandler(Handler handler)
{
    return std::exchange(CurrentHandler(), std::move(handler));
}

namespace {

// The text cut after `characters`, never inside a surrogate pair, marked.
QString Cut(const QString& text, qsizetype characters)
{
    if (text.size() <= characters)
        return text;
    qsizetype end = characters;
    if (end > 0 && text[end - 1].isHighSurrogate())
        --end;
    return text.left(end) + QLatin1String(CMessageService::kCutMark);
}

// The text with a line break after every kShownWordCharacters characters
// that hold no blank.
QString BreakLongWords(const QString& text)
{
    QString broken;
    broken.reserve(text.size() + text.size() / CMessageService::kShownWordCharacters);
    qsizetype word = 0;
    for (const QChar c : text) {
        word = c.isSpace() ? 0 : word + 1;
        if (word > CMessageService::kShownWordCharacters && !c.isLowSurrogate()) {
            broken += QLatin1Char('\n');
            word = 1;
        }
        broken += c;
    }
    return broken;
}

} // namespace

QString CMessageService::Bounded(const QString& foreign)
{
    QString text = foreign.left(kForeignTextBound + 1);
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control)
            c = QChar::ReplacementCharacter;
    }
    return Cut(text, kForeignTextBound);
}

EMessageResult CMessageService::Show(const SMessage& message, QWidget* parent)
{
    if (const Handler& handler = CurrentHandler())
        return handler(message);

    QString text = BreakLongWords(Cut(message.text, kShownCharacters));
    const QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.size() > kShownLines)
        text = lines.mid(0, kShownLines).join(QLatin1Char('\n')) + QLatin1String(kCutMark);
    QMessageBox box(parent);
    box.setWindowTitle(message.title);
    // A text may quote what others chose; markup in it is shown, never obeyed.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
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
