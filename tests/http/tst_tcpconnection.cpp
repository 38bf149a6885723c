#include "http/ListeningSocket.h"
#include "http/TcpConnection.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <memory>
#include <sys/socket.h>

namespace {

constexpr int WaitMs = 30000;

QByteArray Pattern(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char('a' + (i * 7 + i / 4099) % 26);
    return bytes;
}

// A connection accepted from a phone on loopback.
struct ConnectedPair {
    QTcpSocket phone;
    TcpConnection* served = nullptr;
    ListeningSocket server{
        [this](qintptr descriptor) { served = new TcpConnection(int(descriptor)); }, [] {},
        nullptr};

    bool Connect() {
        if (!server.Listen(0))
            return false;
        phone.connectToHost(QHostAddress::LocalHost, server.Port());
        return phone.waitForConnected(WaitMs) &&
               QTest::qWaitFor([this] { return served != nullptr; }, WaitMs);
    }
    ~ConnectedPair() { delete served; }
};

} // namespace

class TestTcpConnection : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Beyond the read limit bytes wait in the system, and every byte still
    // arrives, in order, as the holder takes them.
    void readingStopsAtTheLimitUntilTaken() {
        ConnectedPair pair;
        QVERIFY(pair.Connect());
        constexpr qint64 Limit = 64 * 1024;
        pair.served->setReadBufferSize(Limit);
        const QByteArray sent = Pattern(2 * 1024 * 1024);
        pair.phone.write(sent);
        QVERIFY(QTest::qWaitFor([&] { return pair.served->bytesAvailable() == Limit; }, WaitMs));
        QTest::qWait(50);
        QCOMPARE(pair.served->bytesAvailable(), Limit);

        QByteArray received;
        connect(pair.served, &TcpConnection::readyRead, this, [&] {
            QVERIFY(pair.served->bytesAvailable() <= Limit);
            received += pair.served->readAll();
        });
        received += pair.served->readAll();
        QVERIFY(QTest::qWaitFor([&] { return received.size() >= sent.size(); }, WaitMs));
        QVERIFY(received == sent);
    }

    // The owner may dispose of the connection from any of its signals.
    void connectionMayBeDisposedOfInItsOwnSignals_data() {
        QTest::addColumn<bool>("onArrival");
        QTest::newRow("on arrival") << true;
        QTest::newRow("on the close it asked for") << false;
    }

    void connectionMayBeDisposedOfInItsOwnSignals() {
        QFETCH(bool, onArrival);
        ConnectedPair pair;
        QVERIFY(pair.Connect());
        TcpConnection* served = std::exchange(pair.served, nullptr);
        QSignalSpy gone(served, &QObject::destroyed);
        connect(served, &TcpConnection::readyRead, this, [served, onArrival] {
            served->write("answer");
            if (onArrival)
                served->Dispose();
            else
                served->disconnectFromHost();
        });
        connect(served, &TcpConnection::disconnected, this, [served] { served->Dispose(); });
        pair.phone.write("request");
        QVERIFY(gone.wait(WaitMs));
        QVERIFY(QTest::qWaitFor(
            [&] { return pair.phone.state() == QAbstractSocket::UnconnectedState; }, WaitMs));
        QCOMPARE(pair.phone.readAll(), QByteArray("answer"));
    }

    // A phone that resets the connection while an answer is queued ends it
    // without a fault; what was queued is dropped.
    void resetByThePhoneIsNoFault() {
        ConnectedPair pair;
        QVERIFY(pair.Connect());
        pair.served->write(Pattern(32 * 1024 * 1024));
        QVERIFY(pair.served->bytesToWrite() > 0);
        QSignalSpy faults(pair.served, &TcpConnection::errorOccurred);
        QSignalSpy closed(pair.served, &TcpConnection::disconnected);
        const linger abortive{1, 0};
        ::setsockopt(int(pair.phone.socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive,
                     sizeof abortive);
        pair.phone.abort();
        QVERIFY(closed.wait(WaitMs));
        QCOMPARE(faults.count(), 0);
        QCOMPARE(pair.served->state(), TcpConnection::State::Unconnected);
        QCOMPARE(pair.served->bytesToWrite(), 0);
        QCOMPARE(pair.served->write("late"), -1);
    }
};

QTEST_GUILESS_MAIN(TestTcpConnection)
#include "tst_tcpconnection.moc"
