#include "base/StatusLog.h"

#include <QAbstractItemModelTester>
#include <QTest>

class TestStatusLog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The oldest lines go first, when the line count or the bytes of the
    // texts pass their cap; a single text beyond the byte cap is cut to it.
    void keepsTheNewestLinesWithinBothCaps() {
        StatusLog log;
        for (int i = 0; i < StatusLog::MaxLines + 5; ++i)
            log.LogStatus(LogNotice, QString::number(i));
        QCOMPARE(log.rowCount(), StatusLog::MaxLines);
        QCOMPARE(log.lines().first().message, QStringLiteral("5"));
        QCOMPARE(log.index(StatusLog::MaxLines - 1, 1).data().toString(),
                 QString::number(StatusLog::MaxLines + 4));
        QAbstractItemModelTester tester(&log,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);

        for (int i = 0; i < 100; ++i)
            log.LogStatus(LogNotice, QString::number(i) + QString(100 * 1024, u'x'));
        QVERIFY(log.textBytes() <= StatusLog::MaxBytes);
        QVERIFY(log.rowCount() < 100);
        QVERIFY(log.lines().last().message.startsWith(QStringLiteral("99x")));
        log.LogStatus(LogNotice, QString(StatusLog::MaxBytes + 9, u'y'));
        QCOMPARE(log.rowCount(), 1);
        QCOMPARE(log.textBytes(), StatusLog::MaxBytes);
        log.LogStatus(4, QStringLiteral("short")); // a level of its own is kept as it is
        QCOMPARE(log.lines().last().message, QStringLiteral("short"));
        QCOMPARE(log.index(log.rowCount() - 1, 0).data(StatusLog::LevelRole).toInt(), 4);
    }
};

QTEST_GUILESS_MAIN(TestStatusLog)
#include "tst_statuslog.moc"
