#pragma once

#include <QAction>
#include <QApplication>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <functional>
#include <memory>

// Finding a window's controls by their object names, and reaching modal
// dialogs, the way a user meets them.
namespace WindowLookup {

// The child of root named name; fails the test (returns null) when there is none.
template <typename T> T* Child(const QObject& root, const QString& name)
{
    T* child = root.findChild<T*>(name);
    if (!child)
        qWarning("No %s named %s", T::staticMetaObject.className(), qPrintable(name));
    return child;
}

// Acts on the next modal dialog once it is up (a modal dialog runs its own
// event loop, so the test reaches it from a timer). A dialog that act left
// open (a check in it failed) is closed, so the test goes on to report it.
// Gives up after 10 s.
inline void WhenModal(std::function<void(QWidget*)> act)
{
    auto* timer = new QTimer;
    auto remaining = std::make_shared<int>(1000);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, remaining, act = std::move(act)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            const QPointer<QWidget> dialog = modal;
            act(modal);
            if (dialog && dialog->isVisible())
                dialog->close();
        } else if (--*remaining <= 0) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

} // namespace WindowLookup
