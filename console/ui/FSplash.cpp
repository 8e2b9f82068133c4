#include "console/ui/FSplash.h"

#include "common/ui/MWinForms.h"
#include "console/MVersion.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

namespace {

const char* const kLogoResource = ":/console/Logo.png";

} // namespace

FSplash::FSplash(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint),
      m_lblProductName(new QLabel(this)), m_lblVersion(new QLabel(this)),
      m_imgLogo(new QLabel(this))
{
    setObjectName(QStringLiteral("FSplash"));
    setWindowTitle(QLatin1String(kProductName));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAutoFillBackground(true);
    QPalette background = palette();
    background.setColor(QPalette::Window, Qt::white);
    background.setColor(QPalette::WindowText, QColor(0x12, 0x3b, 0x66));
    setPalette(background);

    m_lblProductName->setObjectName(QStringLiteral("lblProductName"));
    m_lblVersion->setObjectName(QStringLiteral("lblVersion"));
    m_imgLogo->setObjectName(QStringLiteral("imgLogo"));
    m_imgLogo->setFixedSize(kLogoSize, kLogoSize);

    QFont nameFont = m_lblProductName->font();
    nameFont.setPointSizeF(nameFont.pointSizeF() * 2.0);
    nameFont.setBold(true);
    m_lblProductName->setFont(nameFont);

    auto* texts = new QVBoxLayout;
    texts->addStretch();
    texts->addWidget(m_lblProductName);
    texts->addWidget(m_lblVersion);
    texts->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(24, 24, 32, 24);
    layout->setSpacing(24);
    layout->addWidget(m_imgLogo);
    layout->addLayout(texts);

    Form_Load();
    adjustSize();
    CenterOnScreen(this);
}

QString FSplash::VersionCaption(int major, int minor, int revision)
{
    return QStringLiteral("Version ") + VersionText(major, minor, revision);
}

void FSplash::Form_Load()
{
    m_lblProductName->setText(QLatin1String(kProductName));
    m_lblVersion->setText(QStringLiteral("Version ") + ProgramVersionText());
    m_imgLogo->setPixmap(QPixmap(QLatin1String(kLogoResource)));
}
