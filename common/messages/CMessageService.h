#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

class QWidget;

#if defined(PELION_MESSAGES_LIBRARY)
#define PELION_MESSAGES_EXPORT Q_DECL_EXPORT
#else
#define PELION_MESSAGES_EXPORT Q_DECL_IMPORT
#endif

// Kinds of message box, numbered as the message box styles they stand for.
enum class EMessageIcon {
    None = 0,
    Critical = 16,
    Question = 32,
    Exclamation = 48,
    Information = 64
};
enum class EMessageButtons { Ok = 0, YesNo = 4 };
enum class EMessageResult { Ok = 1, Yes = 6, No = 7 };

struct SMessage {
    QString text;
    QString title;
    EMessageIcon icon = EMessageIcon::None;
    EMessageButtons buttons = EMessageButtons::Ok;
};

// The one way the programs show a message box. A handler installed with
// SetHandler takes every message instead of the screen: tests capture them,
// and a program without windows prints them.
class PELION_MESSAGES_EXPORT CMessageService final {
public:
    using Handler = std::function<EMessageResult(const SMessage&)>;

    // Characters of a text from outside (an equipment's answer) that a
    // message quotes at most.
    static constexpr qsizetype kForeignTextBound = 200;
    // What a box shows at most, so that it never grows beyond the screen.
    static constexpr qsizetype kShownCharacters = 1000;
    static constexpr qsizetype kShownLines = 20;
    // A word longer than this is broken across lines: the box grows with its
    // longest word.
    static constexpr qsizetype kShownWordCharacters = 64;
    // Marks a text that was cut.
    static constexpr char kCutMark[] = "...";

    // Shows the message as plain text, whatever markup it holds, cut to
    // kShownCharacters and kShownLines with long words broken, and waits for
    // the user's answer.
    static EMessageResult Show(const SMessage& message, QWidget* parent = nullptr);

    // A text from outside as a message may quote it: control characters
    // (line breaks included) as U+FFFD, cut at kForeignTextBound and marked.
    static QString Bounded(const QString& foreign);

    // Installs a handler (an empty one restores the real message box) and
    // returns the previous one.
    static Handler SetHandler(Handler handler);

private:
    static Handler& CurrentHandler();
};
