#include "site/LinkTables.h"

#include "base/basUtilities.h"

#include <QRandomGenerator>

#include <cmath>

QByteArray LinkState::Field(char letter) const {
    switch (letter) {
    case 'D':
        return D;
    case 'U':
        return U;
    case 'F':
        return F;
    case 'P':
        return QByteArray::number(P);
    case 'M':
        return M;
    case 'A':
        return A;
    case 'K':
        return K;
    case 'C':
        return C;
    default:
        return {};
    }
}

SiteLinks::SiteLinks(std::function<bool()> passwordOn)
    : m_passwordOn(std::move(passwordOn)) {}

QByteArray SiteLinks::MakeLink(const QByteArray& U, const QByteArray& D, const QByteArray& F,
                               qint16 P, const QByteArray& M, const QByteArray& A,
                               const QByteArray& C, const QByteArray& suffix) {
    const QByteArray key = m_passwordOn() ? MakeLinkKey() : QByteArray();
    const qint64 index = AddLinkState(U, D, F, P, M, A, key, C);
    QByteArray link = "/?S=" + QByteArray::number(index);
    if (!key.isEmpty())
        link += "&K=" + key;
    link += suffix;
    return basUtilities::XmlEscape(link, true);
}

QByteArray SiteLinks::MakeMainMenuLink() {
    return MakeLink({}, {}, {}, 1, {}, {}, {}, {});
}

qint64 SiteLinks::AddLinkState(const QByteArray& U, const QByteArray& D, const QByteArray& F,
                               qint16 P, const QByteArray& M, const QByteArray& A,
                               const QByteArray& K, const QByteArray& C) {
    return m_links.Add(LinkState{D, U, F, P, M, A, K, C});
}

const LinkState* SiteLinks::FindLinkState(qint64 index) const {
    return m_links.Find(index);
}

std::optional<QByteArray> SiteLinks::GetLinkField(char letter, qint64 index) const {
    const LinkState* state = m_links.Find(index);
    if (!state)
        return std::nullopt;
    return state->Field(letter);
}

QByteArray SiteLinks::RegisterFileLink(const QByteArray& path) {
    const QByteArray key = m_passwordOn() ? MakeLinkKey() : QByteArray();
    const qint64 index = m_files.Add(FileLink{path, key});
    QByteArray link = "/?F=" + QByteArray::number(index);
    if (!key.isEmpty())
        link += "&K=" + key;
    return basUtilities::XmlEscape(link, true);
}

const FileLink* SiteLinks::FindFileLink(qint64 index) const {
    return m_files.Find(index);
}

QByteArray SiteLinks::MakeLinkKey() {
    QByteArray key(3, Qt::Uninitialized);
    for (char& c : key) {
        // r in [0, 1), scaled and rounded half to even as the link form has
        // always been: codes 65 ("A") to 91 ("[").
        const double r = QRandomGenerator::system()->generateDouble();
        c = char(std::nearbyint(r * 26 + 65));
    }
    return key;
}

void SiteLinks::Erase() {
    m_links.Erase();
    m_files.Erase();
}
