#include "fileserver/ui/FMonitor.h"

#include "common/MWindowsError.h"
#include "common/ui/MWinForms.h"
#include "fileserver/ftp/ESessionStatus.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QLocale>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const char* const kCaption = "FTP Monitor";
const char* const kHeaders[] = {"Remote Host", "Session ID", "Status", "Data Trans. Rate",
                                "File in Proc."};
const char* const kWaitCommand = "Wait command";
const char* const kTransfering = "Transfering";
const char* const kStoring = "Storing";

// Errors of the window's operations, numbered as the list control's own.
constexpr std::uint32_t kErrKeyNotUnique = 35602;
constexpr std::uint32_t kErrElementNotFound = 35601;

constexpr int kColumnInches = 1;
constexpr int kColumnCount = 5;

} // namespace

FMonitor::FMonitor(SOptions options, QWidget* parent) : QWidget(parent, Qt::Window)
{
    m_redraw.setInterval(options.redrawInterval);
    connect(&m_redraw, &QTimer::timeout, this, &FMonitor::RedrawProgress);
    setWindowTitle(QLatin1String(kCaption));
    m_listView = new QTreeWidget(this);
    m_listView->setRootIsDecorated(false);
    m_listView->setColumnCount(kColumnCount);
    QStringList headers;
    for (const char* header : kHeaders)
        headers << QLatin1String(header);
    m_listView->setHeaderLabels(headers);
    const int columnWidth = logicalDpiX() * kColumnInches;
    for (int column = 0; column < kColumnCount; ++column)
        m_listView->setColumnWidth(column, columnWidth);

    // The list fills the window whatever its size.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_listView);
    resize(columnWidth * kColumnCount + 8, columnWidth * 2);
}

QString FMonitor::StatusText(std::int16_t status)
{
    switch (status) {
    case essWaitCommand: return QLatin1String(kWaitCommand);
    case essSending: return QLatin1String(kTransfering);
    case essStoring: return QLatin1String(kStoring);
    default: return QString();
    }
}

QString FMonitor::RateText(qint64 bytes, qint64 total)
{
    if (total == 0)
        return QString::number(bytes) + QStringLiteral(" Byte");
    const double percent = double(bytes) / double(total) * 100.0;
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    QString text = locale.toString(percent, 'f', 2);
    // The ".00" pattern writes no digit before the separator below 1.
    if (percent < 1.0 && text.startsWith(QLatin1Char('0')))
        text.remove(0, 1);
    return text + QStringLiteral(" %");
}

QTreeWidgetItem* FMonitor::Row(const QString& sessionId) const
{
    const auto found = m_rows.constFind(sessionId);
    return found == m_rows.cend() ? nullptr : found->item;
}

QTreeWidgetItem* FMonitor::AddSession(const QString& sessionId, const QString& remoteHost,
                                      std::int16_t status, const QString& fileName)
{
    if (m_rows.contains(sessionId))
        RaiseLibraryError(kErrKeyNotUnique, QStringLiteral(".Monitor"),
                          QStringLiteral("Key is not unique in collection"));
    auto* row = new QTreeWidgetItem(m_listView);
    row->setText(kColumnRemoteHost, remoteHost);
    row->setText(kColumnSessionId, sessionId);
    m_rows.insert(sessionId, SRow{row});
    SessionStatus(sessionId, status, fileName);
    return row;
}

void FMonitor::RemoveSession(const QString& sessionId)
{
    delete m_rows.take(sessionId).item;
}

void FMonitor::SessionStatus(const QString& sessionId, std::int16_t status, const QString& fileName)
{
    const auto found = m_rows.find(sessionId);
    if (found == m_rows.end())
        RaiseLibraryError(kErrElementNotFound, QStringLiteral(".Monitor"),
                          QStringLiteral("Element not found"));
    QTreeWidgetItem* row = found->item;
    // Progress held back from before this status must not come back over it.
    found->progressDue = false;
    row->setText(kColumnStatus, StatusText(status));
    if (status == essSending || status == essStoring) {
        row->setText(kColumnFile, fileName);
    } else {
        row->setText(kColumnFile, QString());
        row->setText(kColumnRate, QString());
    }
}

void FMonitor::ShowNewSession(const QString& sessionId, const QString& remoteHost, int status)
{
    if (!HasSession(sessionId))
        AddSession(sessionId, remoteHost, static_cast<std::int16_t>(status), QString());
}

void FMonitor::ShowTransferStart(const QString& sessionId, const QString&, int status,
                                 const QString& fileName)
{
    if (HasSession(sessionId))
        SessionStatus(sessionId, static_cast<std::int16_t>(status), fileName);
}

void FMonitor::ShowStatusChange(const QString& sessionId, const QString&, int status)
{
    if (status != essSending && status != essStoring && HasSession(sessionId))
        SessionStatus(sessionId, static_cast<std::int16_t>(status));
}

void FMonitor::ShowBytesReceived(const QString& sessionId, const QString&, qint64 byteRecv)
{
    CalculateRate(sessionId, byteRecv, 0);
}

void FMonitor::ShowBytesSent(const QString& sessionId, const QString&, qint64 byteSent,
                             qint64 totalByte)
{
    CalculateRate(sessionId, byteSent, totalByte);
}

void FMonitor::CalculateRate(const QString& sessionId, qint64 bytes, qint64 total)
{
    const auto found = m_rows.find(sessionId);
    if (found == m_rows.end())
        return;
    if (m_redraw.isActive()) {
        found->bytes = bytes;
        found->total = total;
        found->progressDue = true;
        return;
    }
    found->item->setText(kColumnRate, RateText(bytes, total));
    m_redraw.start();
}

void FMonitor::RedrawProgress()
{
    bool redrawn = false;
    for (SRow& row : m_rows) {
        if (!row.progressDue)
            continue;
        row.progressDue = false;
        row.item->setText(kColumnRate, RateText(row.bytes, row.total));
        redrawn = true;
    }
    // A quiet interval ends the holding back: the next report shows at once.
    if (!redrawn)
        m_redraw.stop();
}

void FMonitor::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_centred)
        return;
    m_centred = true;
    CenterOnScreen(this);
}

void FMonitor::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    emit Closed();
}
