#pragma once

#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

// A registered StatusNotifier item: where it answers, its tip, its menu's visible entries in
// order ("-" a separator) with their numbers.
struct SNotifierItem {
    QString service;
    QString path;
    QString tip;
    QString menuPath;
    QStringList menu;
    QHash<QString, QString> ids; // an entry's number, by its text
};

// The session bus's StatusNotifier watcher as a tray host sees it: the items it holds, and the
// clicks a host sends them. Calls go through gdbus, the bus client the desktops ship.
class CNotifierWatcher final {
public:
    // What gdbus prints for a call on the session bus; empty when it failed.
    static QString Call(const QString& service, const QString& path, const QString& method,
                        const QStringList& arguments)
    {
        QProcess gdbus;
        gdbus.start(QStringLiteral("gdbus"),
                    QStringList{"call", "--session", "-d", service, "-o", path, "-m", method, "--"}
                        + arguments);
        if (!gdbus.waitForFinished(10000) || gdbus.exitCode() != 0)
            return {};
        return QString::fromUtf8(gdbus.readAllStandardOutput()).trimmed();
    }

    // A click on the item, as the host sends it.
    static bool Activate(const SNotifierItem& item)
    {
        return Call(item.service, item.path, QStringLiteral("org.kde.StatusNotifierItem.Activate"),
                    {"0", "0"})
               == "()";
    }

    // A click on the menu entry with this text.
    static bool Click(const SNotifierItem& item, const QString& entry)
    {
        return item.ids.contains(entry)
               && !Call(item.service, item.menuPath, QStringLiteral("com.canonical.dbusmenu.Event"),
                        {item.ids.value(entry), "clicked", "<0>", "0"})
                       .isEmpty();
    }

    // The items the watcher holds, each with its tip and menu as it exports them.
    static QList<SNotifierItem> Items()
    {
        const QString registered = Call(QStringLiteral("org.kde.StatusNotifierWatcher"),
                                        QStringLiteral("/StatusNotifierWatcher"),
                                        QStringLiteral("org.freedesktop.DBus.Properties.Get"),
                                        {QStringLiteral("org.kde.StatusNotifierWatcher"),
                                         QStringLiteral("RegisteredStatusNotifierItems")});
        QList<SNotifierItem> items;
        static const QRegularExpression entry(QStringLiteral("'([^'/]+)(/[^']*)'"));
        static const QRegularExpression quoted(QStringLiteral("'([^']*)'"));
        static const QRegularExpression child(QStringLiteral("<\\((\\d+), \\{([^{}]*)\\}"));
        static const QRegularExpression label(QStringLiteral("'label': <'([^']*)'>"));
        for (const auto& found : entry.globalMatch(registered)) {
            SNotifierItem item{found.captured(1), found.captured(2), {}, {}, {}, {}};
            // ToolTip: (icon name, pictures, title, text); the title is the tip.
            const QString tip = Property(item.service, item.path, QStringLiteral("ToolTip"));
            QStringList texts;
            for (const auto& text : quoted.globalMatch(tip))
                texts << text.captured(1);
            item.tip = texts.value(1);
            item.menuPath = Property(item.service, item.path, QStringLiteral("Menu"))
                                .section(QLatin1Char('\''), 1, 1);
            const QString layout =
                Call(item.service, item.menuPath,
                     QStringLiteral("com.canonical.dbusmenu.GetLayout"), {"0", "-1", "[]"});
            for (const auto& row : child.globalMatch(layout)) {
                const QString properties = row.captured(2);
                if (properties.contains(QStringLiteral("'visible': <false>")))
                    continue;
                const QString text = properties.contains(QStringLiteral("'separator'"))
                                         ? QStringLiteral("-")
                                         : label.match(properties).captured(1);
                item.menu << text;
                item.ids.insert(text, row.captured(1));
            }
            items << item;
        }
        return items;
    }

private:
    static QString Property(const QString& service, const QString& path, const QString& name)
    {
        return Call(service, path, QStringLiteral("org.freedesktop.DBus.Properties.Get"),
                    {QStringLiteral("org.kde.StatusNotifierItem"), name});
    }
};
