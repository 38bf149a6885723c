#include "base/StatusLog.h"

#include <QSignalSpy>
#include <QTest>

class TestStatusLog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void detailLinesFollowTheSwitchAtEveryCall() {
        StatusLog log;
        bool extended = false;
        log.setExtendedLoggingSwitch([&] { return extended; });
        log.LogStatus(LogDetail, QStringLiteral("hidden"));
        log.LogStatus(LogNotice, QStringLiteral("notice"));
        extended = true;
        log.LogStatus(LogDetail, QStringLiteral("shown"));
        log.LogStatus(4, QStringLiteral("four")); // a level of its own is written as it is
        QCOMPARE(log.rowCount(), 3);
        QCOMPARE(log.lines().at(1).message, QStringLiteral("shown"));
        QCOMPARE(log.index(2, 0).data(StatusLog::LevelRole).toInt(), 4);
    }

    void keepsOnlyTheNewestLines() {
        StatusLog log;
        for (int i = 0; i < StatusLog::MaxLines + 5; ++i)
            log.LogStatus(LogNotice, QString::number(i));
        QCOMPARE(log.rowCount(), StatusLog::MaxLines);
        QCOMPARE(log.lines().first().message, QStringLiteral("5"));
    }
};

QTEST_GUILESS_MAIN(TestStatusLog)
#include "tst_statuslog.moc"
