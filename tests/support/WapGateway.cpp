#include "support/WapGateway.h"

#include "support/LoopbackClient.h"
#include "support/TestSupport.h"
#include "support/WspClient.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <QUdpSocket>

#include <wbxml/wbxml.h>

#include <cstdlib>

namespace {
const QString bearerboxPath = QStringLiteral("/usr/sbin/bearerbox");
const QString wapboxPath = QStringLiteral("/usr/sbin/wapbox");
const QString loopbackBindLibrary = QStringLiteral(POCKETLANE_LOOPBACK_BIND_LIBRARY);
constexpr int StartAttempts = 3;
constexpr int StopGraceMs = 15000;

bool udpPortFree(const QHostAddress& address, quint16 port) {
    QUdpSocket probe;
    return probe.bind(address, port);
}

QHostAddress randomLoopbackAddress() {
    auto* random = QRandomGenerator::global();
    const quint32 host = (127u << 24) | (random->bounded(1u, 255u) << 16) |
                         (random->bounded(0u, 256u) << 8) | random->bounded(1u, 255u);
    return QHostAddress(host);
}

QByteArray quoted(const QString& value) {
    return '"' + QFile::encodeName(value) + '"';
}
} // namespace

WapGateway::WapGateway()
    : m_adminPassword(QByteArray::number(QRandomGenerator::global()->generate64(), 36)) {}

WapGateway::~WapGateway() {
    stop();
}

bool WapGateway::isAvailable(QString* missing) {
    for (const QString& path : {bearerboxPath, wapboxPath, loopbackBindLibrary}) {
        if (!QFile::exists(path)) {
            if (missing)
                *missing = path;
            return false;
        }
    }
    return true;
}

bool WapGateway::fail(const QString& why) {
    m_error = why + QLatin1Char('\n') + logs();
    stop();
    return false;
}

bool WapGateway::chooseAddressAndPorts() {
    for (int attempt = 0; attempt < 50; ++attempt) {
        const QHostAddress candidate = randomLoopbackAddress();
        // The bearer binds 9201 too, for connection-oriented WSP.
        if (udpPortFree(candidate, WspClient::ConnectionlessPort) &&
            udpPortFree(candidate, WspClient::ConnectionlessPort + 1)) {
            m_address = candidate;
            m_adminPort = TestSupport::freeLoopbackTcpPort();
            m_boxPort = TestSupport::freeLoopbackTcpPort();
            return m_adminPort != 0 && m_boxPort != 0 && m_adminPort != m_boxPort;
        }
    }
    return false;
}

bool WapGateway::writeConfiguration() {
    QByteArray config;
    config += "group = core\n";
    config += "admin-port = " + QByteArray::number(m_adminPort) + "\n";
    config += "admin-interface = \"127.0.0.1\"\n";
    config += "admin-password = \"" + m_adminPassword + "\"\n";
    config += "admin-allow-ip = \"127.0.0.1\"\nadmin-deny-ip = \"*.*.*.*\"\n";
    config += "wapbox-port = " + QByteArray::number(m_boxPort) + "\n";
    config += "box-allow-ip = \"127.0.0.1\"\nbox-deny-ip = \"*.*.*.*\"\n";
    config += "wdp-interface-name = \"" + m_address.toString().toLatin1() + "\"\n";
    config += "udp-allow-ip = \"127.0.0.1\"\nudp-deny-ip = \"*.*.*.*\"\n";
    config += "log-file = " + quoted(pathOf(QStringLiteral("bearerbox.log"))) + "\n";
    config += "log-level = 0\n\n";
    config += "group = wapbox\nbearerbox-host = \"127.0.0.1\"\n";
    config += "http-interface-name = \"127.0.0.1\"\n";
    config += "log-file = " + quoted(pathOf(QStringLiteral("wapbox.log"))) + "\n";
    config += "log-level = 0\nsyslog-level = none\n";
    QFile file(pathOf(QStringLiteral("kannel.conf")));
    return file.open(QIODevice::WriteOnly) && file.write(config) == config.size();
}

bool WapGateway::start(int timeoutMs) {
    QString missing;
    if (!isAvailable(&missing)) {
        m_error = missing + QStringLiteral(" is missing (scripts/setup.sh installs Kannel)");
        return false;
    }
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder: ") + m_dir.errorString();
        return false;
    }
    // A port chosen free may be taken before the boxes bind it: try again.
    for (int attempt = 1; attempt <= StartAttempts; ++attempt) {
        if (startOnce(timeoutMs))
            return true;
    }
    return false;
}

bool WapGateway::startBox(ServiceProcess& box, const QString& program, const QString& name,
                          const QStringList& environment) {
    // "-v 3": only errors on the console; the log file gets everything.
    const QStringList arguments{QStringLiteral("-v"), QStringLiteral("3"),
                                pathOf(QStringLiteral("kannel.conf"))};
    if (!box.start(program, arguments, pathOf(name + QStringLiteral(".out")), environment))
        return fail(box.errorString());
    return true;
}

bool WapGateway::startOnce(int timeoutMs) {
    if (!chooseAddressAndPorts())
        return fail(QStringLiteral("found no free loopback address and ports for the gateway"));
    if (!writeConfiguration())
        return fail(QStringLiteral("cannot write kannel.conf in ") + m_dir.path());

    if (!startBox(m_bearerbox, bearerboxPath, QStringLiteral("bearerbox"),
                  {QStringLiteral("LD_PRELOAD=") + loopbackBindLibrary}))
        return false;
    const bool boxPortOpen = QTest::qWaitFor(
        [this] {
            return !m_bearerbox.isRunning() || TestSupport::listensOn(m_boxPort, m_bearerbox.pid());
        },
        timeoutMs);
    if (!boxPortOpen || !m_bearerbox.isRunning())
        return fail(QStringLiteral("bearerbox did not open its box port %1 (%2)")
                        .arg(m_boxPort)
                        .arg(m_bearerbox.exitDescription()));

    if (!startBox(m_wapbox, wapboxPath, QStringLiteral("wapbox"), {}))
        return false;
    // The bearerbox drops datagrams until the wapbox is on its routing list,
    // which its status page shows.
    const bool joined = QTest::qWaitFor(
        [this] {
            return !m_wapbox.isRunning() || !m_bearerbox.isRunning() ||
                   adminStatus().contains("wapbox, IP");
        },
        timeoutMs);
    if (!joined || !m_wapbox.isRunning() || !m_bearerbox.isRunning())
        return fail(
            QStringLiteral("the wapbox did not join the bearerbox (bearerbox %1, wapbox %2)")
                .arg(m_bearerbox.exitDescription(), m_wapbox.exitDescription()));
    return true;
}

void WapGateway::stop() {
    m_wapbox.stop(StopGraceMs);
    m_bearerbox.stop(StopGraceMs);
}

QByteArray WapGateway::adminStatus() const {
    LoopbackClient admin(m_adminPort);
    admin.Send("GET /status.txt?password=" + m_adminPassword +
               " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    admin.WaitClosed(10000);
    const QByteArray answer = admin.Received();
    return answer.mid(answer.indexOf("\r\n\r\n") + 4);
}

QString WapGateway::logs() const {
    QString text;
    for (const QString& name : {QStringLiteral("bearerbox.out"), QStringLiteral("bearerbox.log"),
                                QStringLiteral("wapbox.out"), QStringLiteral("wapbox.log")}) {
        text += QStringLiteral("--- ") + name + QStringLiteral(":\n") +
                QString::fromLocal8Bit(TestSupport::tailOfFile(pathOf(name))) + QLatin1Char('\n');
    }
    return text;
}

QByteArray WapGateway::decompile(const QByteArray& wmlc) {
    WBXMLConvWBXML2XML* converter = nullptr;
    if (wbxml_conv_wbxml2xml_create(&converter) != WBXML_OK)
        return {};
    wbxml_conv_wbxml2xml_set_gen_type(converter, WBXML_GEN_XML_COMPACT);
    wbxml_conv_wbxml2xml_enable_preserve_whitespaces(converter);
    // Debian's libwbxml2 converts no character sets, and the gateway compiles
    // in ISO-8859-1 (charset 4, after the version and a one-octet public id):
    // the strings are read as they are and converted afterwards.
    QByteArray input = wmlc;
    const bool latin1 = input.size() > 2 && input[1] != 0 && input[2] == 4;
    if (latin1)
        input[2] = char(WBXML_CHARSET_UTF_8);
    WB_UTINY* xml = nullptr;
    WB_ULONG length = 0;
    const WBXMLError error =
        wbxml_conv_wbxml2xml_run(converter, reinterpret_cast<WB_UTINY*>(input.data()),
                                 static_cast<WB_ULONG>(input.size()), &xml, &length);
    wbxml_conv_wbxml2xml_destroy(converter);
    QByteArray text;
    if (error == WBXML_OK)
        text = QByteArray(reinterpret_cast<const char*>(xml), qsizetype(length));
    std::free(xml);
    return latin1 ? QString::fromLatin1(text).toUtf8() : text;
}
