#include "site/SiteLinks.h"

#include "base/basUtilities.h"

#include <QRandomGenerator>

#include <charconv>

bool SiteLinks::LinkIdentity::operator==(const LinkIdentity& other) const {
    const LinkState& a = fields;
    const LinkState& b = other.fields;
    return keyed == other.keyed && a.P == b.P && a.D == b.D && a.U == b.U && a.F == b.F &&
           a.M == b.M && a.A == b.A && a.C == b.C;
}

size_t qHash(const SiteLinks::LinkIdentity& identity, size_t seed) {
    const LinkState& f = identity.fields;
    return qHashMulti(seed, f.D, f.U, f.F, f.P, f.M, f.A, f.C, identity.keyed);
}

size_t qHash(const SiteLinks::FileIdentity& identity, size_t seed) {
    return qHashMulti(seed, identity.path, identity.keyed, identity.fitted);
}

namespace {

qint64 RandomFirstIndex() {
    return qint64(QRandomGenerator::system()->generate64() % quint64(SiteLinks::FirstIndexRange));
}

// The link to record index with its key, escaped for a deck, written in
// one buffer: the prefix and the number need no escaping.
QByteArray LinkText(QByteArrayView prefix, qint64 index, const QByteArray& key,
                    const QByteArray& suffix = {}) {
    static constexpr QByteArrayView KeyField = "&amp;K=";
    char number[24];
    const char* numberEnd = std::to_chars(number, number + sizeof number, index).ptr;
    QByteArray link;
    link.reserve(prefix.size() + (numberEnd - number) + KeyField.size() + key.size() +
                 suffix.size() + 16);
    link.append(prefix).append(number, numberEnd - number);
    if (!key.isEmpty()) {
        link.append(KeyField);
        basUtilities::AppendXmlEscaped(link, key, true);
    }
    basUtilities::AppendXmlEscaped(link, suffix, true);
    return link;
}

} // namespace

SiteLinks::SiteLinks(std::function<bool()> passwordOn, std::optional<qint64> firstIndex)
    : m_passwordOn(std::move(passwordOn))
    , m_firstIndex(firstIndex.value_or(RandomFirstIndex()))
    , m_links(LinkCapacity, m_firstIndex)
    , m_files(FileLinkCapacity, m_firstIndex) {}

QByteArray SiteLinks::MakeLink(const QByteArray& U, const QByteArray& D, const QByteArray& F,
                               qint16 P, const QByteArray& M, const QByteArray& A,
                               const QByteArray& C, const QByteArray& suffix) {
    LinkIdentity identity{LinkState{D, U, F, P, M, A, {}, C}, m_passwordOn()};
    if (const auto found = m_linkIndex.constFind(identity); found != m_linkIndex.cend()) {
        if (const LinkState* held = m_links.Find(*found))
            return LinkText("/?S=", *found, held->K, suffix);
    }
    const QByteArray key = identity.keyed ? MakeLinkKey() : QByteArray();
    forgetIdentityPushedOut(m_links, m_linkIndex, [](const LinkState& record) {
        LinkState fields = record;
        fields.K.clear();
        return LinkIdentity{std::move(fields), !record.K.isEmpty()};
    });
    const qint64 index = AddLinkState(U, D, F, P, M, A, key, C);
    m_linkIndex.insert(identity, index);
    return LinkText("/?S=", index, key, suffix);
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

QByteArray SiteLinks::RegisterFileLink(const QByteArray& path, bool fitted) {
    FileIdentity identity{path, m_passwordOn(), fitted};
    if (const auto found = m_fileIndex.constFind(identity); found != m_fileIndex.cend()) {
        if (const FileLink* held = m_files.Find(*found))
            return LinkText("/?F=", *found, held->key);
    }
    const QByteArray key = identity.keyed ? MakeLinkKey() : QByteArray();
    forgetIdentityPushedOut(m_files, m_fileIndex, [](const FileLink& record) {
        return FileIdentity{record.path, !record.key.isEmpty(), record.fitted};
    });
    const qint64 index = m_files.Add(FileLink{path, key, fitted});
    m_fileIndex.insert(identity, index);
    return LinkText("/?F=", index, key);
}

const FileLink* SiteLinks::FindFileLink(qint64 index) const {
    return m_files.Find(index);
}

QByteArray SiteLinks::MakeLinkKey() {
    static constexpr char Alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    quint64 bits[2];
    QRandomGenerator::system()->fillRange(bits);
    QByteArray key(KeyCharacters, Qt::Uninitialized);
    for (int i = 0; i < KeyCharacters; ++i)
        key[i] = Alphabet[(bits[i / 10] >> (6 * (i % 10))) & 63];
    return key;
}

void SiteLinks::Erase() {
    m_links.Erase();
    m_files.Erase();
    m_linkIndex.clear();
    m_fileIndex.clear();
}
