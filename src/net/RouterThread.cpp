#include "net/RouterThread.h"

RouterThread::RouterThread(int discoveryMs, bool upnpSoftware, QObject* parent)
    : QObject(parent)
    , m_session(new RouterSession(discoveryMs, upnpSoftware)) {
    m_thread.setObjectName(QStringLiteral("upnp"));
    m_session->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_session, &QObject::deleteLater);
    m_thread.start();
}

RouterThread::~RouterThread() {
    m_thread.quit();
    m_thread.wait();
}
