#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

// The public-address lookup: one plain HTTP/1.0 request to a what-is-my-IP
// page over its own client socket (`g_SocketForIP`), and the address read
// from the answer. The address follows the marker "displaycopy('" up to the
// next single quote; a page without the marker gives the first dotted IPv4
// address of its body. Only a well-formed public IPv4 address is accepted.
//
// The answer is read until the address is found, the answer ends or
// MaxAnswerBytes came; without an outcome after the time limit the lookup
// fails. Exactly one of Found and Failed is emitted per Start.
class PublicAddressLookup : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype MaxAnswerBytes = qsizetype{64} * 1024;
    static constexpr int DefaultTimeLimitMs = 20 * 1000;

    explicit PublicAddressLookup(const QUrl& pageUrl, QObject* parent = nullptr);

    void SetTimeLimit(int milliseconds) { m_timeLimit.setInterval(milliseconds); }
    QUrl PageUrl() const { return m_pageUrl; }

    // Connects to the page's host (port 80 unless the URL names one).
    void Start();

    // The request as sent: the absolute URL, HTTP/1.0, two Accept lines and
    // three CR LF pairs in a row; no Host header.
    static QByteArray RequestFor(const QUrl& pageUrl);

    // The address an answer holds (status line, headers and page): after the
    // marker, else the first dotted IPv4 address of the body; empty when
    // there is none yet. `complete` says whether more of the answer may come:
    // an address at the very end of an incomplete answer may go on in the
    // next block and is not taken yet.
    static QString AddressIn(const QByteArray& answer, bool complete);

Q_SIGNALS:
    void Found(const QString& address);
    // `description` is empty for an empty answer, else why the lookup failed.
    void Failed(const QString& description);

private:
    void onConnected();
    void onReadyRead();
    void onAnswerEnded();
    void onTimeLimit();
    void finish(const QString& address);
    void fail(const QString& description);
    void endLookup();

    QTcpSocket g_SocketForIP;
    QUrl m_pageUrl;
    QByteArray m_answer;
    QTimer m_timeLimit;
    bool m_running = false;
};
