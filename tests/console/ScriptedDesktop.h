#pragma once

#include "platform/desktop/CWindowSystem.h"

#include <QStringList>

#include <stdexcept>

// The test's windows; a title "!" fails to read, as a window that went away.
class CScriptedDesktop final : public CWindowSystem {
public:
    explicit CScriptedDesktop(QStringList titles) : m_titles(std::move(titles)) {}

    QList<WindowHandle> TopLevelWindows() override
    {
        QList<WindowHandle> windows;
        for (qsizetype i = 0; i < m_titles.size(); ++i)
            windows.append(Handle(i));
        return windows;
    }
    QString WindowTitle(WindowHandle window) override
    {
        ++m_reads;
        const QString& title = m_titles.at(static_cast<qsizetype>(window - Handle(0)));
        if (title == QLatin1String("!"))
            throw std::runtime_error("window gone");
        return title;
    }
    bool ActivateWindow(WindowHandle) override { return false; }

    static WindowHandle Handle(qsizetype index) { return WindowHandle(0x400001 + index); }
    int Reads() const { return m_reads; }

private:
    QStringList m_titles;
    int m_reads = 0;
};
