#include "net/UpnpRouter.h"

#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>

#include <QByteArray>

namespace {

constexpr int NotFound = -1;

// The library writes router-given texts into caller buffers of assumed
// sizes; these leave room beyond every size it assumes.
constexpr size_t FieldSize = 256;
using Field = char[FieldSize];

QString Text(const char* field) {
    return QString::fromLatin1(field, qsizetype(qstrnlen(field, FieldSize)));
}

quint16 Port(const char* field) {
    bool ok = false;
    const uint port = Text(field).toUInt(&ok);
    return ok && port <= 65535 ? quint16(port) : 0;
}

} // namespace

struct UpnpRouter::Session {
    UPNPUrls urls{};
    IGDdatas data{};
    bool haveUrls = false;

    ~Session() {
        if (haveUrls)
            FreeUPNPUrls(&urls);
    }
    const char* control() const { return urls.controlURL; }
    const char* service() const { return data.first.servicetype; }
};

UpnpRouter::UpnpRouter(int discoveryMs, bool upnpSoftware)
    : m_session(std::make_unique<Session>()) {
    if (!upnpSoftware)
        return;
    m_presence = Presence::NoMappingService;
    int error = 0;
    UPNPDev* devices =
        upnpDiscover(discoveryMs, nullptr, nullptr, UPNP_LOCAL_PORT_ANY, 0, 2, &error);
    if (!devices)
        return;
    char lanAddress[64] = {};
    const int valid = UPNP_GetValidIGD(devices, &m_session->urls, &m_session->data, lanAddress,
                                       sizeof lanAddress);
    freeUPNPDevlist(devices);
    // 1: a connected gateway; 2: a gateway that reports no internet link
    // (still one that keeps mappings); 3: some other UPnP device.
    if (valid != 0)
        m_session->haveUrls = true;
    if (valid == 1 || valid == 2)
        m_presence = Presence::MappingService;
}

UpnpRouter::~UpnpRouter() = default;

// Notes a call that got no answer (no HTTP answer, or none the library could
// read): the router has gone away or restarted elsewhere.
int UpnpRouter::noted(int code) {
    if (code == UPNPCOMMAND_HTTP_ERROR || code == UPNPCOMMAND_INVALID_RESPONSE ||
        code == UPNPCOMMAND_UNKNOWN_ERROR)
        m_stoppedAnswering = true;
    return code;
}

int UpnpRouter::AddMapping(const Mapping& mapping) {
    if (m_presence != Presence::MappingService)
        return NotFound;
    return noted(UPNP_AddPortMapping(m_session->control(), m_session->service(),
                                     QByteArray::number(mapping.externalPort).constData(),
                                     QByteArray::number(mapping.internalPort).constData(),
                                     mapping.internalClient.toLatin1().constData(),
                                     mapping.description.toLatin1().constData(),
                                     mapping.protocol.toLatin1().constData(), nullptr, "0"));
}

int UpnpRouter::DeleteMapping(quint16 externalPort, const QString& protocol) {
    if (m_presence != Presence::MappingService)
        return NotFound;
    return noted(UPNP_DeletePortMapping(m_session->control(), m_session->service(),
                                        QByteArray::number(externalPort).constData(),
                                        protocol.toLatin1().constData(), nullptr));
}

int UpnpRouter::SpecificMapping(quint16 externalPort, const QString& protocol, Mapping& mapping) {
    if (m_presence != Presence::MappingService)
        return NotFound;
    Field client{}, port{}, description{}, enabled{}, lease{};
    const int result = noted(UPNP_GetSpecificPortMappingEntry(
        m_session->control(), m_session->service(), QByteArray::number(externalPort).constData(),
        protocol.toLatin1().constData(), nullptr, client, port, description, enabled, lease));
    if (result == UPNPCOMMAND_SUCCESS)
        mapping = {externalPort, protocol, Text(client), Port(port), Text(description)};
    return result;
}

QList<UpnpRouter::Mapping> UpnpRouter::Mappings() {
    QList<Mapping> mappings;
    if (m_presence != Presence::MappingService)
        return mappings;
    for (int index = 0; index < MaxMappingsWalked; ++index) {
        Field external{}, client{}, internal{}, protocol{}, description{}, enabled{}, remote{},
            lease{};
        if (noted(UPNP_GetGenericPortMappingEntry(m_session->control(), m_session->service(),
                                                  QByteArray::number(index).constData(), external,
                                                  client, internal, protocol, description, enabled,
                                                  remote, lease)) != UPNPCOMMAND_SUCCESS)
            break;
        mappings.append(
            {Port(external), Text(protocol), Text(client), Port(internal), Text(description)});
    }
    return mappings;
}

std::optional<QString> UpnpRouter::ExternalAddress() {
    if (m_presence != Presence::MappingService)
        return std::nullopt;
    Field address{};
    if (noted(UPNP_GetExternalIPAddress(m_session->control(), m_session->service(), address)) !=
        UPNPCOMMAND_SUCCESS)
        return std::nullopt;
    return Text(address);
}
