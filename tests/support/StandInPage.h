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
    bool ListenOnLoopback();
    bool ListenOnDescriptor(qintptr descriptor);
    quint16 Port() const { return m_server.serverPort(); }

    // What each connection gets. No blocks and `close` false: the page
    // accepts and never answers.
    void SetAnswer(const QList<QByteArray>& blocks, bool close = true);
    // A page that answers with its status line, headers and the text.
    static QByteArray HttpPage(const QByteArray& body);

    QList<QByteArray> Requests() const { return m_requests; }

private:
    void serve(QTcpSocket* socket);

    QTcpServer m_server;
    QList<QByteArray> m_blocks;
    bool m_close = true;
    QList<QByteArray> m_requests;
};
