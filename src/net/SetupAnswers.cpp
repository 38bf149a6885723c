#include "net/SetupAnswers.h"

namespace {

const QString Unknown = QStringLiteral("Unknown");

} // namespace

SetupAnswers::SetupAnswers(QObject* parent)
    : QAbstractListModel(parent) {
    for (Row& row : m_rows)
        row.caption = Unknown;
}

QString SetupAnswers::Question(int answer) {
    switch (answer) {
    case RunningOnLanAnswer:
        return QStringLiteral("Running on a LAN/behind a router?");
    case UpnpSoftwareAnswer:
        return QStringLiteral("Have UPnP NAT software?");
    case PortForwardingAnswer:
        return QStringLiteral("Can perform Port Forwarding?");
    case PortForwardedAnswer:
        return QStringLiteral("Appropriate port is forwarded?");
    case PublicAddressAnswer:
        return QStringLiteral("Have retrieved public IP address?");
    case LocalAddressAnswer:
        return QStringLiteral("Have retrieved local IP address?");
    default:
        return {};
    }
}

void SetupAnswers::ResetSetupAnswers() {
    for (int answer = 0; answer < Count; ++answer)
        SetAnswer(answer, Unknown, QUrl());
    SetNatWarning(QString());
}

QString SetupAnswers::Caption(int answer) const {
    return m_rows.at(size_t(answer)).caption;
}

QUrl SetupAnswers::Link(int answer) const {
    return m_rows.at(size_t(answer)).link;
}

void SetupAnswers::SetCaption(int answer, const QString& caption) {
    SetAnswer(answer, caption, Link(answer));
}

void SetupAnswers::SetAnswer(int answer, const QString& caption, const QUrl& link) {
    Row& row = m_rows.at(size_t(answer));
    if (row.caption == caption && row.link == link)
        return;
    row.caption = caption;
    row.link = link;
    changed(answer);
}

QStringList SetupAnswers::Lines() const {
    QStringList lines;
    for (int answer = 0; answer < Count; ++answer) {
        QString line = Question(answer) + u' ' + Caption(answer);
        if (!Link(answer).isEmpty())
            line += QStringLiteral(" (") + Link(answer).toString() + u')';
        lines.append(line);
    }
    if (!m_natWarning.isEmpty())
        lines.append(m_natWarning);
    if (!m_gateway.caption.isEmpty()) {
        lines.append(GatewayQuestion() + u' ' + m_gateway.caption +
                     (m_gateway.link.isEmpty()
                          ? QString()
                          : QStringLiteral(" (") + m_gateway.link.toString() + u')'));
        lines.append(m_phoneSettings);
    }
    return lines;
}

bool SetupAnswers::PhonesCanReach() const {
    const auto yes = [this](int answer) { return Caption(answer).startsWith(u"Yes"); };
    if (Caption(RunningOnLanAnswer) == u"No")
        return yes(LocalAddressAnswer);
    return yes(RunningOnLanAnswer) && yes(PortForwardedAnswer) && yes(PublicAddressAnswer) &&
           m_natWarning.isEmpty();
}

void SetupAnswers::SetNatWarning(const QString& warning) {
    if (m_natWarning == warning)
        return;
    m_natWarning = warning;
    Q_EMIT natWarningChanged(warning);
}

QString SetupAnswers::GatewayQuestion() {
    return QStringLiteral("Can old WAP phones reach the gateway?");
}

void SetupAnswers::SetGateway(const QString& caption, const QUrl& link,
                              const QString& phoneSettings) {
    if (m_gateway.caption == caption && m_gateway.link == link && m_phoneSettings == phoneSettings)
        return;
    m_gateway = {caption, link};
    m_phoneSettings = phoneSettings;
    Q_EMIT gatewayChanged();
}

void SetupAnswers::changed(int answer) {
    const QModelIndex row = index(answer);
    Q_EMIT dataChanged(row, row, {Qt::DisplayRole, LinkRole});
}

int SetupAnswers::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count;
}

QVariant SetupAnswers::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return Caption(index.row());
    case QuestionRole:
        return Question(index.row());
    case LinkRole:
        return Link(index.row());
    default:
        return {};
    }
}

QHash<int, QByteArray> SetupAnswers::roleNames() const {
    return {{Qt::DisplayRole, "caption"}, {QuestionRole, "question"}, {LinkRole, "link"}};
}
