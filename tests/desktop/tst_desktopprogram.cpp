// The built program with a display: an X server of the test's own (Xvfb).
#include "XSession.h"
#include "net/PrimaryAddress.h"
#include "support/LoopbackClient.h"
#include "support/PocketlaneProcess.h"

class DesktopProgramTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void windowOverTheServingProgram_data();
    void windowOverTheServingProgram();
    void unreadableSettingsAreToldBeforeServing();
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
    LoopbackClient phone(port);
    phone.Send(LoopbackClient::Request("/"));
    QVERIFY(phone.WaitClosed());
    QVERIFY(phone.Received().contains("<card"));
    // A phone is answered by the event loop, which runs only once the window
    // has been shown: without a window, none is there by now. One without a
    // window writes its log to stderr and the site's address to stdout.
    QVERIFY(headless ? QTest::qWaitFor([&] {
        return program.StandardError().contains("You are currently not sharing anything.");
    })
                     : QTest::qWaitFor(windowShown, 60000));
    QCOMPARE(windowShown(), !headless);
    QCOMPARE(program.Stop(), 0);
    QVERIFY(!windowShown());
    const QString lan = PrimaryIPv4Address();
    QCOMPARE(QString::fromLocal8Bit(program.StandardOutput()),
             headless && !lan.isEmpty()
                 ? u"Site on your network: http://%1:%2/\n"_s.arg(lan).arg(port)
                 : QString());
}

// The owner is asked in a message box while nothing listens yet; the file
// stays as it was.
void DesktopProgramTest::unreadableSettingsAreToldBeforeServing() {
    QTemporaryDir dir;
    const QString settings = dir.filePath(u"settings.reg"_s);
    QFile file(settings);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Pocketlane\\Options]\nEnablePassword=Y\n"
               "; end of settings\n");
    file.close();
    PocketlaneProcess program;
    const quint16 port = PocketlaneProcess::FreePort();
    program.Launch({u"--offline"_s, u"--port"_s, QString::number(port), u"--settings"_s, settings},
                   {u"env"_s, u"DISPLAY="_s + Session->display});
    const bool shown = QTest::qWaitFor(
        [] {
            return XSession::WindowInfo({u"-name"_s, u"Pocketlane"_s})
                .contains(u"Map State: IsViewable"_s);
        },
        60000);
    QVERIFY2(shown, program.StandardError().constData());
    QVERIFY(!PocketlaneProcess::IsListening(port));
    program.Process().kill();
    QVERIFY(program.Process().waitForFinished());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
             (QStringList{u"settings.reg"_s, u"settings.reg.lock"_s}));
}

int main(int argc, char* argv[]) {
    return RunOnOwnDisplay<QCoreApplication, DesktopProgramTest>(argc, argv);
}

#include "tst_desktopprogram.moc"
