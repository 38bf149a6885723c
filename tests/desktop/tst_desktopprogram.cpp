// The built program with a display: an X server of the test's own (Xvfb).
#include "XSession.h"
#include "support/LoopbackClient.h"
#include "support/PocketlaneProcess.h"

class DesktopProgramTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void windowOverTheServingProgram_data();
    void windowOverTheServingProgram();
};

void DesktopProgramTest::windowOverTheServingProgram_data() {
    QTest::addColumn<bool>("headless");
    QTest::newRow("window") << false;
    QTest::newRow("--headless keeps it away") << true;
}

// The program as the owner starts it from the desktop's menu (offline: it
// sends nothing beyond loopback); SIGTERM ends it without the closing question.
void DesktopProgramTest::windowOverTheServingProgram() {
    QFETCH(bool, headless);
    const auto windowShown = [] {
        return XSession::WindowInfo({u"-name"_s, u"Pocketlane"_s})
            .contains(u"Map State: IsViewable"_s);
    };
    PocketlaneProcess program;
    const quint16 port = PocketlaneProcess::FreePort();
    program.Launch(QStringList{u"--offline"_s, u"--port"_s, QString::number(port)} +
                       (headless ? QStringList{u"--headless"_s} : QStringList()),
                   {u"env"_s, u"DISPLAY="_s + Session->display});
    QVERIFY(QTest::qWaitFor([port] { return PocketlaneProcess::IsListening(port); }, 60000));
    QCOMPARE(QTest::qWaitFor(windowShown, headless ? 1000 : 60000), !headless);
    LoopbackClient phone(port);
    phone.Send(LoopbackClient::Request("/"));
    QVERIFY(phone.WaitClosed());
    QVERIFY(phone.Received().contains("<card"));
    QCOMPARE(program.Stop(), 0);
    QVERIFY(!windowShown());
}

int main(int argc, char* argv[]) {
    return RunOnOwnDisplay<QCoreApplication, DesktopProgramTest>(argc, argv);
}

#include "tst_desktopprogram.moc"
