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
        QCOMPARE(log.rowCount(), 2);
        QCOMPARE(log.lines().at(1).message, QStringLiteral("shown"));
    }

    void otherLevelsAreAlwaysWritten() {
        StatusLog log;
        log.LogStatus(0, QString());
        log.LogStatus(4, QStringLiteral("four"));
        QCOMPARE(log.rowCount(), 2);
        QCOMPARE(log.index(0, 1).data().toString(), QString());
        QCOMPARE(log.index(1, 0).data(StatusLog::LevelRole).toInt(), 4);
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
