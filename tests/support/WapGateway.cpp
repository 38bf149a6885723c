#include "support/WapGateway.h"

#include "support/LoopbackClient.h"
#include "support/TestSupport.h"
#include "support/WspClient.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTest>
#include <QUdpSocket>

#include <wbxml/wbxml.h>

#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {
const QString BearerboxPath = u"/usr/sbin/bearerbox"_s;
const QString WapboxPath = u"/usr/sbin/wapbox"_s;
const QString LoopbackBindLibrary = QStringLiteral(POCKETLANE_LOOPBACK_BIND_LIBRARY);
constexpr int StartAttempts = 3;
constexpr int StopGraceMs = 15000;
} // namespace

QHostAddress WapGateway::freeLoopbackAddress() {
    auto* random = QRandomGenerator::global();
    for (int attempt = 0; attempt < 50; ++attempt) {
        const QHostAddress candidate((127u << 24) | (random->bounded(1u, 255u) << 16) |
                                     (random->bounded(0u, 256u) << 8) | random->bounded(1u, 255u));
        QUdpSocket connectionless, connectionOriented;
        if (connectionless.bind(candidate, WspClient::ConnectionlessPort) &&
            connectionOriented.bind(candidate, WspClient::ConnectionlessPort + 1))
            return candidate;
    }
    return {};
}

WapGateway::WapGateway()
    : m_adminPassword(QByteArray::number(QRandomGenerator::global()->generate64(), 36)) {}

WapGateway::~WapGateway() {
    stop();
}

QString WapGateway::missing() {
    for (const QString& path : {BearerboxPath, WapboxPath, LoopbackBindLibrary})
        if (!QFile::exists(path))
            return path;
    return {};
}

bool WapGateway::fail(const QString& why) {
    m_error = why + u'\n' + logs();
    stop();
    return false;
}

bool WapGateway::writeConfiguration() {
    QByteArray config = "group = core\nadmin-interface = \"127.0.0.1\"\nadmin-port = " +
                        QByteArray::number(m_adminPort) + "\nadmin-password = \"" +
                        m_adminPassword + "\"\nwapbox-port = " + QByteArray::number(m_boxPort) +
                        "\nwdp-interface-name = \"" + m_address.toString().toLatin1() + "\"\n";
    for (const QByteArray who : {"admin", "box", "udp"})
        config += who + "-allow-ip = \"127.0.0.1\"\n" + who + "-deny-ip = \"*.*.*.*\"\n";
    config += "log-file = \"" + QFile::encodeName(pathOf(u"bearerbox.log"_s)) +
              "\"\nlog-level = 0\n\ngroup = wapbox\nbearerbox-host = \"127.0.0.1\"\n"
              "http-interface-name = \"127.0.0.1\"\nlog-file = \"" +
              QFile::encodeName(pathOf(u"wapbox.log"_s)) +
              "\"\nlog-level = 0\nsyslog-level = none\n";
    QFile file(pathOf(u"kannel.conf"_s));
    return file.open(QIODevice::WriteOnly) && file.write(config) == config.size();
}

bool WapGateway::start(int timeoutMs) {
    // A port chosen free may be taken before the boxes bind it: try again.
    for (int attempt = 1; attempt <= StartAttempts; ++attempt)
        if (startOnce(timeoutMs))
            return true;
    return false;
}

bool WapGateway::startBox(ServiceProcess& box, const QString& program,
                          const QStringList& environment, const std::function<bool()>& ready,
                          int timeoutMs) {
    const QString name = QFileInfo(program).fileName();
    // "-v 3": only errors on the console; the log file gets everything.
    if (!box.start(program, {u"-v"_s, u"3"_s, pathOf(u"kannel.conf"_s)}, pathOf(name + u".out"_s),
                   environment))
        return fail(box.errorString());
    const auto running = [&] {
        return m_bearerbox.isRunning() && (&box == &m_bearerbox || m_wapbox.isRunning());
    };
    if (QTest::qWaitFor([&] { return !running() || ready(); }, timeoutMs) && running())
        return true;
    return fail(u"%1 did not get ready (bearerbox %2, wapbox %3)"_s.arg(
        name, m_bearerbox.exitDescription(), m_wapbox.exitDescription()));
}

bool WapGateway::startOnce(int timeoutMs) {
    m_address = freeLoopbackAddress();
    m_adminPort = TestSupport::freeLoopbackTcpPort();
    m_boxPort = TestSupport::freeLoopbackTcpPort();
    if (m_address.isNull() || m_adminPort == 0 || m_boxPort == 0 || m_adminPort == m_boxPort)
        return fail(u"found no free loopback address and ports for the gateway"_s);
    if (!writeConfiguration())
        return fail(u"cannot write kannel.conf in "_s + m_dir.path());
    // The bearerbox drops datagrams until the wapbox is on its routing list,
    // which its status page shows.
    return startBox(
               m_bearerbox, BearerboxPath, {u"LD_PRELOAD="_s + LoopbackBindLibrary},
               [this] { return TestSupport::listensOn(m_boxPort, m_bearerbox.pid()); },
               timeoutMs) &&
           startBox(
               m_wapbox, WapboxPath, {}, [this] { return adminStatus().contains("wapbox, IP"); },
               timeoutMs);
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
    for (const QString& name :
         {u"bearerbox.out"_s, u"bearerbox.log"_s, u"wapbox.out"_s, u"wapbox.log"_s})
        text += u"--- "_s + name + u":\n"_s +
                QString::fromLocal8Bit(TestSupport::tailOfFile(pathOf(name))) + u'\n';
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
