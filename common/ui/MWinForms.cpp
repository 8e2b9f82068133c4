#include "common/ui/MWinForms.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

constexpr char kCloseBlockerName[] = "CloseBlocker";

// Swallows close requests that come from the user, not from the program.
class CCloseBlocker final : public QObject {
public:
    explicit CCloseBlocker(QObject* parent) : QObject(parent) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Close && event->spontaneous()) {
            event->ignore();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void RemoveCloseMenu(QWidget* window)
{
    if (!window)
        return;
    const bool wasVisible = window->isVisible();
    window->setWindowFlag(Qt::CustomizeWindowHint, true);
    window->setWindowFlag(Qt::WindowCloseButtonHint, false);
    // Found by name: a cast cannot tell this class (it has no meta-object of
    // its own) from the window's other children.
    if (!window->findChild<QObject*>(QString::fromLatin1(kCloseBlockerName),
                                     Qt::FindDirectChildrenOnly)) {
        auto* blocker = new CCloseBlocker(window);
        blocker->setObjectName(QString::fromLatin1(kCloseBlockerName));
        window->installEventFilter(blocker);
    }
    // Changing window flags hides a shown window.
    if (wasVisible)
        window->show();
}

void CenterOnScreen(QWidget* window)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!window || !screen)
        return;
    const QRect area = screen->geometry();
    window->move(area.x() + (area.width() - window->width()) / 2,
                 area.y() + (area.height() - window->height()) / 2);
}
