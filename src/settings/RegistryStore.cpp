#include "settings/RegistryStore.h"

#include "base/FileAside.h"
#include "base/SafeText.h"
#include "base/StatusLog.h"
#include "base/basUtilities.h"
#include "settings/SettingsFileLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

RegistryError::RegistryError(QString description, QString source)
    : m_description(std::move(description))
    , m_source(std::move(source))
    , m_what(m_description.toUtf8()) {}

namespace {

constexpr QByteArrayView FirstLine = "; Pocketlane settings.";
constexpr QByteArrayView Header =
    "; Pocketlane settings. Each [section] is a key, each \"name\"=\"text\" line one of its\n"
    "; values; expand:\"text\" marks a text whose %VARIABLE% references are expanded.\n"
    "; In quotes, \\\\ \\\" \\n \\r \\t and \\xHH stand for a backslash, a quote and other bytes.\n"
    "; Keep the last line: a file without it is taken as cut short.\n";
constexpr QByteArrayView EndLine = "; end of settings";
constexpr QByteArrayView ExpandMarker = "expand:";

// How often a change kept while another process holds the file's lock tries
// again, when the owner is told about it, and how long the end of the
// program waits for the lock to write such a change.
constexpr std::chrono::milliseconds PendingRetryInterval{100};
constexpr qint64 PendingNoticeMs = 5000;
constexpr std::chrono::milliseconds FinalLockWait{2000};

bool isValidKeyPath(QByteArrayView path) {
    return !path.isEmpty();
}

// Whether the key path can stand in its section line as it is.
bool isPlainKeyPath(QByteArrayView path) {
    for (const char c : path) {
        if (c < 0x20 || c > 0x7E || c == '"')
            return false;
    }
    return !path.isEmpty();
}

void appendHexEscape(QByteArray& out, unsigned char byte) {
    static constexpr char digits[] = "0123456789ABCDEF";
    out.append("\\x", 2);
    out.append(digits[byte >> 4]);
    out.append(digits[byte & 0xF]);
}

// The text in quotes, with every byte that would break the line or the
// file's UTF-8 written as an escape.
void appendQuoted(QByteArray& out, const QByteArray& text) {
    out.append('"');
    const char* p = text.constData();
    const char* const end = p + text.size();
    while (p < end) {
        const auto byte = static_cast<unsigned char>(*p);
        char32_t ignored = 0;
        const int length = byte >= 0x80 ? SafeText::DecodeUtf8(p, end, ignored) : 1;
        if (byte == '\\' || byte == '"') {
            out.append('\\').append(char(byte));
        } else if (byte == '\n') {
            out.append("\\n", 2);
        } else if (byte == '\r') {
            out.append("\\r", 2);
        } else if (byte == '\t') {
            out.append("\\t", 2);
        } else if (byte < 0x20 || byte == 0x7F || length == 0) {
            appendHexEscape(out, byte);
        } else {
            out.append(p, length);
            p += length;
            continue;
        }
        ++p;
    }
    out.append('"');
}

// Reads a quoted text starting at line[pos] (the opening quote); moves pos
// past the closing quote. Nothing when the text is not well formed.
std::optional<QByteArray> readQuoted(QByteArrayView line, qsizetype& pos) {
    if (pos >= line.size() || line[pos] != '"')
        return std::nullopt;
    QByteArray text;
    for (++pos; pos < line.size(); ++pos) {
        const char c = line[pos];
        if (c == '"') {
            ++pos;
            return text;
        }
        if (c != '\\') {
            text.append(c);
            continue;
        }
        if (++pos >= line.size())
            return std::nullopt;
        switch (line[pos]) {
        case '\\':
        case '"':
            text.append(line[pos]);
            break;
        case 'n':
            text.append('\n');
            break;
        case 'r':
            text.append('\r');
            break;
        case 't':
            text.append('\t');
            break;
        case 'x': {
            const int high =
                pos + 1 < line.size() ? basUtilities::HexDigitValue(line[pos + 1]) : -1;
            const int low = pos + 2 < line.size() ? basUtilities::HexDigitValue(line[pos + 2]) : -1;
            if (high < 0 || low < 0)
                return std::nullopt;
            text.append(char(high * 16 + low));
            pos += 2;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// Parses one `"name"=["expand:"]"data"` line.
std::optional<RegistryStore::Value> parseValueLine(QByteArrayView line) {
    qsizetype pos = 0;
    RegistryStore::Value value;
    const auto name = readQuoted(line, pos);
    if (!name || pos >= line.size() || line[pos] != '=')
        return std::nullopt;
    ++pos;
    if (line.sliced(pos).startsWith(ExpandMarker)) {
        value.expandable = true;
        pos += ExpandMarker.size();
    }
    const auto data = readQuoted(line, pos);
    if (!data || pos != line.size())
        return std::nullopt;
    value.name = *name;
    value.data = *data;
    return value;
}

// The key path of a "[path]" or "[\"quoted path\"]" line.
std::optional<QByteArray> parseSectionLine(QByteArrayView line) {
    if (line.size() < 3 || !line.startsWith('[') || !line.endsWith(']'))
        return std::nullopt;
    const QByteArrayView inside = line.sliced(1, line.size() - 2);
    if (!inside.startsWith('"'))
        return inside.toByteArray();
    qsizetype pos = 0;
    auto path = readQuoted(inside, pos);
    if (!path || pos != inside.size() || !isValidKeyPath(*path))
        return std::nullopt;
    return path;
}

QList<QByteArrayView> splitLines(QByteArrayView text) {
    QList<QByteArrayView> lines;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        QByteArrayView line = text.sliced(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        lines.append(line);
        start = end + 1;
    }
    return lines;
}

void syncFolder(const QString& folder) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool writeAll(int fd, const QByteArray& text) {
    qsizetype written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.constData() + written, size_t(text.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += n;
    }
    return true;
}

// Writes the text to `temporary`, readable by its owner only and flushed to
// the disk, then renames it over `path`: a crash leaves either the old file
// or the new one, never a part.
bool replaceFile(const QString& path, const QString& temporary, const QByteArray& text) {
    const QByteArray temporaryName = QFile::encodeName(temporary);
    const int fd =
        ::open(temporaryName.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool written = ::fchmod(fd, 0600) == 0 && writeAll(fd, text) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed ||
        ::rename(temporaryName.constData(), QFile::encodeName(path).constData()) != 0) {
        ::unlink(temporaryName.constData());
        return false;
    }
    syncFolder(QFileInfo(path).absolutePath());
    return true;
}

// Whether the file is a copy of ours that a write left behind: Qt's
// "<name>.XXXXXX" temporary names, holding a text that starts like ours.
bool isLeftoverCopy(const QFileInfo& candidate, const QString& settingsName) {
    static const QRegularExpression temporaryName(QStringLiteral("^\\.[A-Za-z0-9]{6}$"));
    if (!candidate.fileName().startsWith(settingsName) ||
        !temporaryName.match(candidate.fileName().mid(settingsName.size())).hasMatch())
        return false;
    QFile file(candidate.filePath());
    return file.open(QIODevice::ReadOnly) && file.read(FirstLine.size()) == FirstLine;
}

} // namespace

RegistryStore::ExclusiveAccess::ExclusiveAccess(RegistryStore& store,
                                                std::optional<std::chrono::milliseconds> maxWait)
    : m_store(store) {
    if (m_store.m_lockHolds++ == 0)
        m_store.m_lock = std::make_unique<SettingsFileLock>(m_store.m_filePath, maxWait);
}

RegistryStore::ExclusiveAccess::~ExclusiveAccess() {
    if (--m_store.m_lockHolds == 0)
        m_store.m_lock.reset();
}

bool RegistryStore::ExclusiveAccess::isHeld() const {
    return m_store.m_lock->isHeld();
}

RegistryStore::RegistryStore(QString filePath)
    : m_filePath(std::move(filePath)) {}

RegistryStore::~RegistryStore() {
    if (!m_savePending)
        return;
    const SettingsFileLock lock(m_filePath, FinalLockWait);
    if (lock.isHeld())
        replaceFile(m_filePath, m_filePath + QStringLiteral(".saving"), serialize(m_keys.keys()));
}

QByteArray RegistryStore::serialize(const QList<Key>& keys) {
    QByteArray text(Header.data(), Header.size());
    for (const Key& key : keys) {
        text.append("\n[");
        if (isPlainKeyPath(key.path))
            text.append(key.path);
        else
            appendQuoted(text, key.path);
        text.append("]\n");
        for (const Value& value : key.values) {
            appendQuoted(text, value.name);
            text.append('=');
            if (value.expandable)
                text.append(ExpandMarker.data(), ExpandMarker.size());
            appendQuoted(text, value.data);
            text.append('\n');
        }
    }
    text.append('\n').append(EndLine.data(), EndLine.size()).append('\n');
    return text;
}

std::optional<QList<RegistryStore::Key>> RegistryStore::parse(const QByteArray& text,
                                                              QString* error) {
    const auto keys = parseKeys(text, error);
    return keys ? std::optional(keys->keys()) : std::nullopt;
}

std::optional<RegistryKeys> RegistryStore::parseKeys(const QByteArray& text, QString* error) {
    const auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return std::nullopt;
    };
    const QList<QByteArrayView> lines = splitLines(text);
    if (!lines.contains(EndLine))
        return fail(QStringLiteral("the file has no end line; it may have been cut short"));

    RegistryKeys keys;
    qsizetype current = -1;
    for (qsizetype number = 1; number <= lines.size(); ++number) {
        const QByteArrayView line = lines.at(number - 1);
        if (line.trimmed().isEmpty() || line.startsWith(';'))
            continue;
        if (line.startsWith('[')) {
            const auto path = parseSectionLine(line);
            if (!path)
                return fail(QStringLiteral("line %1 cannot be read").arg(number));
            current = keys.ensure(*path);
            continue;
        }
        const auto value = line.startsWith('"') ? parseValueLine(line) : std::nullopt;
        if (!value || current < 0)
            return fail(QStringLiteral("line %1 cannot be read").arg(number));
        keys.setValue(current, *value);
    }
    return keys;
}

bool RegistryStore::load(StatusLog* log) {
    m_keys = {};
    m_writable = false;
    m_loadProblem.clear();
    m_log = log;
    ExclusiveAccess access(*this);
    if (access.isHeld())
        removeStaleCopies();
    QFile file(m_filePath);
    QString error;
    std::optional<RegistryKeys> keys;
    if (!file.exists())
        keys.emplace();
    else if (!file.open(QIODevice::ReadOnly))
        error = file.errorString();
    else
        keys = parseKeys(file.readAll(), &error);
    if (!keys) {
        m_loadProblem = QStringLiteral("The settings file ") + m_filePath +
                        QStringLiteral(" cannot be read (") + error + u')';
        return false;
    }
    m_keys = std::move(*keys);
    m_writable = true;
    return true;
}

void RegistryStore::removeStaleCopies() const {
    const QFileInfo settings(m_filePath);
    QFile::remove(m_filePath + QStringLiteral(".saving"));
    const QFileInfoList candidates = settings.dir().entryInfoList(
        {settings.fileName() + QStringLiteral(".??????")}, QDir::Files | QDir::Hidden);
    for (const QFileInfo& candidate : candidates) {
        if (isLeftoverCopy(candidate, settings.fileName()))
            QFile::remove(candidate.filePath());
    }
}

bool RegistryStore::startAfresh() {
    if (m_loadProblem.isEmpty())
        return true;
    const QString aside = FileAside::KeepAside(m_filePath);
    m_writable = !aside.isEmpty();
    logError(m_writable ? m_loadProblem + QStringLiteral("; it was kept as ") + aside +
                              QStringLiteral(" and the settings start afresh.")
                        : m_loadProblem + QStringLiteral(" nor kept aside; no setting will be "
                                                         "saved until it is mended or removed."));
    return m_writable;
}

void RegistryStore::logError(const QString& message) const {
    if (m_log)
        m_log->LogStatus(LogError, message);
}

bool RegistryStore::keyExists(const QByteArray& keyPath) const {
    return m_keys.find(keyPath) >= 0;
}

std::optional<RegistryStore::Value> RegistryStore::value(const QByteArray& keyPath,
                                                         const QByteArray& name) const {
    const qsizetype key = m_keys.find(keyPath);
    return key < 0 ? std::nullopt : m_keys.value(key, name);
}

std::optional<QList<RegistryStore::Value>> RegistryStore::values(const QByteArray& keyPath) const {
    const qsizetype key = m_keys.find(keyPath);
    if (key < 0)
        return std::nullopt;
    return m_keys.keys().at(key).values;
}

bool RegistryStore::createKey(const QByteArray& keyPath) {
    if (!isValidKeyPath(keyPath))
        return false;
    if (keyExists(keyPath))
        return true;
    RegistryKeys keys = m_keys;
    keys.ensure(keyPath);
    return save(keys);
}

bool RegistryStore::setValue(const QByteArray& keyPath, const Value& value) {
    if (!isValidKeyPath(keyPath))
        return false;
    RegistryKeys keys = m_keys;
    keys.setValue(keys.ensure(keyPath), value);
    return save(keys);
}

bool RegistryStore::deleteValue(const QByteArray& keyPath, const QByteArray& name) {
    RegistryKeys keys = m_keys;
    const qsizetype key = keys.find(keyPath);
    return key >= 0 && keys.removeValue(key, name) && save(keys);
}

bool RegistryStore::save(const RegistryKeys& keys) {
    if (!m_writable)
        return false;
    if (keys.keys() == m_keys.keys())
        return true;
    if (m_lockHolds > 0 && m_lock->isHeld())
        return writeFile(keys);
    const SettingsFileLock lock(m_filePath, std::chrono::milliseconds(0));
    if (lock.isHeld())
        return writeFile(keys);
    if (!lock.isBusy())
        return false;
    keepPending(keys);
    return true;
}

bool RegistryStore::writeFile(const RegistryKeys& keys) {
    if (!replaceFile(m_filePath, m_filePath + QStringLiteral(".saving"), serialize(keys.keys())))
        return false;
    m_keys = keys;
    m_savePending = false;
    return true;
}

// Another process (an administration command, say) holds the lock: the
// change counts at once and is written once the lock is free, so that the
// event loop never waits for that process.
void RegistryStore::keepPending(const RegistryKeys& keys) {
    m_keys = keys;
    if (!m_savePending) {
        m_savePending = true;
        m_toldPending = false;
        m_pendingSince.start();
    }
    if (!m_retry) {
        m_retry = std::make_unique<QTimer>();
        m_retry->setInterval(PendingRetryInterval);
        QObject::connect(m_retry.get(), &QTimer::timeout, [this] { retryPendingSave(); });
    }
    m_retry->start();
}

void RegistryStore::retryPendingSave() {
    const SettingsFileLock lock(m_filePath, std::chrono::milliseconds(0));
    if (lock.isBusy()) {
        if (!m_toldPending && m_pendingSince.hasExpired(PendingNoticeMs)) {
            m_toldPending = true;
            logError(QStringLiteral("The settings file ") + m_filePath +
                     QStringLiteral(" is locked by another process; the latest changes count "
                                    "and are saved once it is free."));
        }
        return;
    }
    m_retry->stop();
    const RegistryKeys keys = m_keys;
    if (!lock.isHeld() || !writeFile(keys))
        logError(QStringLiteral("Saving Error: the settings file ") + m_filePath +
                 QStringLiteral(" cannot be written; the latest changes are not saved."));
}
