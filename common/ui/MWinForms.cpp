#include "common/ui/MWinForms.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

// Swallows close requests that come from the user, not from the program.
class CCloseBlocker final : public QObject {
public:
    static constexpr const char* kName = "CloseBlocker";

    explicit CCloseBlocker(QObject* parent) : QObject(parent)
    {
        setObjectName(QLatin1StringView(kName));
    }

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
    // By name: the class has no meta-object of its own, so a search by type
    // would take any child for it.
    if (!window->findChild<QObject*>(QLatin1StringView(CCloseBlocker::kName),
                                     Qt::FindDirectChildrenOnly))
        window->installEventFilter(new CCloseBlocker(window));
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
