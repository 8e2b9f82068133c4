#include "fileserver/ui/FAbout.h"
#include "tests/kit/MessageCapture.h"
#include "tests/kit/TestFiles.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class tst_FAbout final : public QObject {
    Q_OBJECT
private slots:
    // The first program found of the list starts; none found says so.
    void systemInfo()
    {
        CMessageCapture messages;
        QTemporaryDir folder;
        FAbout none(nullptr,
                    CSysInfoLauncher({QStringLiteral("no-such-info-tool")}, {folder.path()}));
        QCOMPARE(none.cmdSysInfo()->text(), QStringLiteral("&System Info..."));
        QTest::mouseClick(none.cmdSysInfo(), Qt::LeftButton);
        QCOMPARE(messages.Texts(), QStringList{"System Information Is Unavailable At This Time"});
        const QString marker = folder.filePath(QStringLiteral("started"));
        QVERIFY(TestFiles::WriteScript(folder.filePath("info-tool"),
                                       "#!/bin/sh\ntouch '" + marker.toUtf8() + "'\n"));
        FAbout about(nullptr,
                     CSysInfoLauncher({QStringLiteral("missing"), QStringLiteral("info-tool")},
                                      {folder.path()}));
        QTest::mouseClick(about.cmdSysInfo(), Qt::LeftButton);
        QTRY_VERIFY(QFile::exists(marker));
        QCOMPARE(messages.Shown().size(), 1);
    }
};

QTEST_MAIN(tst_FAbout)
#include "tst_FAbout.moc"
