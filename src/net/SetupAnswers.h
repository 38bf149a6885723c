#pragma once

#include <QAbstractListModel>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <array>

// The six answers of the setup check, one row each, top to bottom as the
// Help panel shows them. Each row has its fixed question, the answer's
// caption and a link: an answer with a non-empty link is a live link to that
// help page, one with an empty link reacts to nothing.
//
// Besides the six rows the model carries one warning that the rows cannot
// express: the router itself sits behind another NAT (empty when not); and,
// while the built-in gateway is on, whether old WAP phones reach it, with
// the settings to type into such a phone.
class SetupAnswers : public QAbstractListModel {
    Q_OBJECT
    Q_PROPERTY(QString natWarning READ NatWarning NOTIFY natWarningChanged)
public:
    enum Answer {
        RunningOnLanAnswer = 0,
        UpnpSoftwareAnswer = 1,
        PortForwardingAnswer = 2,
        PortForwardedAnswer = 3,
        PublicAddressAnswer = 4,
        LocalAddressAnswer = 5,
    };
    static constexpr int Count = 6;

    // DisplayRole is the caption of the answer.
    enum Role { QuestionRole = Qt::UserRole + 1, LinkRole };

    explicit SetupAnswers(QObject* parent = nullptr);

    static QString Question(int answer);

    // Every answer back to "Unknown" with no link; the warning goes too.
    void ResetSetupAnswers();

    QString Caption(int answer) const;
    QUrl Link(int answer) const;
    // Sets the caption and leaves the link as it is.
    void SetCaption(int answer, const QString& caption);
    // Sets both; an empty link makes the answer a plain text again.
    void SetAnswer(int answer, const QString& caption, const QUrl& link);

    // Each question with its answer on one line (and the answer's link in
    // brackets), then the warning if there is one, then while the gateway is
    // on its question and the phone's settings.
    QStringList Lines() const;

    // Whether the answers show that phones on the internet reach this PC:
    // directly on the internet, or on a LAN with the port forwarded here, the
    // public address known and no other NAT before the router.
    bool PhonesCanReach() const;

    QString NatWarning() const { return m_natWarning; }
    void SetNatWarning(const QString& warning);

    static QString GatewayQuestion();
    // Empty while the gateway is off.
    QString GatewayAnswer() const { return m_gateway.caption; }
    QUrl GatewayLink() const { return m_gateway.link; }
    QString PhoneSettings() const { return m_phoneSettings; }
    void SetGateway(const QString& caption, const QUrl& link, const QString& phoneSettings);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

Q_SIGNALS:
    void natWarningChanged(const QString& warning);
    void gatewayChanged();

private:
    struct Row {
        QString caption;
        QUrl link;
    };
    void changed(int answer);

    std::array<Row, Count> m_rows;
    QString m_natWarning;
    Row m_gateway;
    QString m_phoneSettings;
};
