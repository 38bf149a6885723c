#pragma once

#include <QByteArray>
#include <QList>
#include <QTcpServer>

// A stand-in what-is-my-IP web page: answers each connection with the blocks
// set, written apart from each other, and then closes it (or stays silent
// when told to). It records every request it receives.
class StandInPage : public QObject {
    Q_OBJECT
public:
    StandInPage();

    // Listens on 127.0.0.1, or on a listening socket made elsewhere (in a
    // network namespace, say).
    bool ListenOnLoopback() { return m_server.listen(QHostAddress::LocalHost, 0); }
    bool ListenOnDescriptor(qintptr descriptor) { return m_server.setSocketDescriptor(descriptor); }
    quint16 Port() const { return m_server.serverPort(); }

    // What each connection gets. No blocks and `close` false: the page
    // accepts and never answers.
    void SetAnswer(const QList<QByteArray>& blocks, bool close = true) {
        m_blocks = blocks;
        m_close = close;
    }
    // A page that answers with its status line, headers and the text.
    static QByteArray HttpPage(const QByteArray& body) {
        return "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + body;
    }

    QList<QByteArray> Requests() const { return m_requests; }

private:
    QTcpServer m_server;
    QList<QByteArray> m_blocks;
    bool m_close = true;
    QList<QByteArray> m_requests;
};
