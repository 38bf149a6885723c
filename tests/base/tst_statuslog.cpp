#include "base/StatusLog.h"

#include <QAbstractItemModelTester>
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
        // Rows removed from the front of the ring are the oldest.
        for (int i = 0; i < StatusLog::MaxLines + 5; ++i)
            log.LogStatus(LogNotice, QString::number(i));
        QCOMPARE(log.rowCount(), StatusLog::MaxLines);
        QCOMPARE(log.lines().first().message, QStringLiteral("5"));
        QCOMPARE(log.index(StatusLog::MaxLines - 1, 1).data().toString(),
                 QString::number(StatusLog::MaxLines + 4));
    }

    // Long texts push out the oldest lines before the line count does, and
    // a single text beyond the cap is cut to it.
    void keepsItsTextsWithinTheByteCap() {
        StatusLog log;
        QAbstractItemModelTester tester(&log,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        const QString longText(100 * 1024, u'x');
        for (int i = 0; i < 100; ++i)
            log.LogStatus(LogNotice, QString::number(i) + longText);
        QVERIFY(log.textBytes() <= StatusLog::MaxBytes);
        QVERIFY(log.rowCount() < 100);
        QVERIFY(log.lines().last().message.startsWith(QStringLiteral("99x")));
        log.LogStatus(LogNotice, QString(StatusLog::MaxBytes, u'y'));
        QCOMPARE(log.rowCount(), 1);
        QCOMPARE(log.textBytes(), StatusLog::MaxBytes);
        log.LogStatus(LogNotice, QStringLiteral("short"));
        QCOMPARE(log.lines().last().message, QStringLiteral("short"));
    }
};

QTEST_GUILESS_MAIN(TestStatusLog)
#include "tst_statuslog.moc"
