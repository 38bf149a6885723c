// A second start reaches the running program through its doorbell socket.
#include "app/InstanceDoorbell.h"

#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class InstanceDoorbellTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void ringReachesTheRunningProgram() {
        QTemporaryDir dir;
        const QString path =
            InstanceDoorbell::PathBeside(dir.filePath(QStringLiteral("pocketlane.lock")));
        QCOMPARE(path, dir.filePath(QStringLiteral("pocketlane.doorbell")));
        QVERIFY(!InstanceDoorbell::Ring(path, 500));

        // A socket file left by a program that died is replaced.
        QFile stale(path);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        InstanceDoorbell door(path);
        QVERIFY(door.Listen());
        QSignalSpy rung(&door, &InstanceDoorbell::Rung);
        QVERIFY(InstanceDoorbell::Ring(path));
        QVERIFY(rung.wait());
        QCOMPARE(rung.size(), 1);
    }

    void anythingElseIsIgnored() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("pocketlane.doorbell"));
        InstanceDoorbell door(path);
        QVERIFY(door.Listen());
        QSignalSpy rung(&door, &InstanceDoorbell::Rung);
        QLocalSocket visitor;
        visitor.connectToServer(path);
        QVERIFY(visitor.waitForConnected());
        visitor.write(QByteArray(4096, 'x'));
        QVERIFY(visitor.waitForBytesWritten());
        QTRY_COMPARE(visitor.state(), QLocalSocket::UnconnectedState);
        QCOMPARE(rung.size(), 0);
        QVERIFY(InstanceDoorbell::Ring(path));
        QVERIFY(rung.wait());
    }
};

QTEST_MAIN(InstanceDoorbellTest)
#include "tst_instancedoorbell.moc"
