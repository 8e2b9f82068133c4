#include "common/messages/CMessageService.h"
#include "fileserver/ui/FAbout.h"

#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class tst_FAbout final : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_messages.clear();
        CMessageService::SetHandler([this](const SMessage& message) {
            m_messages << message.text;
            return EMessageResult::Ok;
        });
    }
    void cleanup() { CMessageService::SetHandler({}); }

    void showsTitleAndClosesOnOk()
    {
        FAbout about(nullptr, CSysInfoLauncher({}, {}));
        QCOMPARE(about.windowTitle(), QStringLiteral("About "));
        about.SetTitle(QStringLiteral("Orvane FTP/TFTP Server Ver. 1.2.4"));
        about.show();
        QVERIFY(about.isVisible());
        QCOMPARE(about.Title(), QStringLiteral("Orvane FTP/TFTP Server Ver. 1.2.4"));
        QCOMPARE(about.cmdSysInfo()->text(), QStringLiteral("&System Info..."));
        QTest::mouseClick(about.cmdOK(), Qt::LeftButton);
        QVERIFY(!about.isVisible());
    }

    void noProgramSaysSo()
    {
        QTemporaryDir empty;
        FAbout about(nullptr,
                     CSysInfoLauncher({QStringLiteral("no-such-info-tool")}, {empty.path()}));
        QTest::mouseClick(about.cmdSysInfo(), Qt::LeftButton);
        QCOMPARE(m_messages, QStringList{"System Information Is Unavailable At This Time"});
    }

    void installedProgramStartsWithoutMessage()
    {
        QTemporaryDir folder;
        const QString marker = folder.filePath(QStringLiteral("started"));
        const QString program = folder.filePath(QStringLiteral("info-tool"));
        QFile script(program);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\ntouch '%1'\n").arg(marker).toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        FAbout about(nullptr,
                     CSysInfoLauncher({QStringLiteral("missing"), QStringLiteral("info-tool")},
                                      {folder.path()}));
        QTest::mouseClick(about.cmdSysInfo(), Qt::LeftButton);
        QTRY_VERIFY(QFile::exists(marker));
        QVERIFY(m_messages.isEmpty());
    }

private:
    QStringList m_messages;
};

QTEST_MAIN(tst_FAbout)
#include "tst_FAbout.moc"
