#include "settings/RegistryStore.h"

#include "base/basUtilities.h"

#include "base/SafeText.h"
#include "base/StatusLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <fcntl.h>
#include <unistd.h>

RegistryError::RegistryError(QString description, QString source)
    : m_description(std::move(description))
    , m_source(std::move(source))
    , m_what(m_description.toUtf8()) {}

namespace {

constexpr QByteArrayView Header =
    "; Pocketlane settings. Each [section] is a key, each \"name\"=\"text\" line one of its\n"
    "; values; expand:\"text\" marks a text whose %VARIABLE% references are expanded.\n"
    "; In quotes, \\\\ \\\" \\n \\r \\t and \\xHH stand for a backslash, a quote and other bytes.\n"
    "; Keep the last line: a file without it is taken as cut short.\n";
constexpr QByteArrayView EndLine = "; end of settings";
constexpr QByteArrayView ExpandMarker = "expand:";

qsizetype findKey(const QList<RegistryStore::Key>& keys, QByteArrayView path) {
    for (qsizetype i = 0; i < keys.size(); ++i) {
        if (keys.at(i).path.compare(path, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

qsizetype findValue(const QList<RegistryStore::Value>& values, QByteArrayView name) {
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (values.at(i).name == name)
            return i;
    }
    return -1;
}

// The key's index, after adding it and every missing parent key below the
// root (a root key always exists and is not written).
qsizetype ensureKey(QList<RegistryStore::Key>& keys, const QByteArray& path) {
    qsizetype separator = path.indexOf('\\');
    while ((separator = path.indexOf('\\', separator + 1)) > 0) {
        const QByteArray parent = path.left(separator);
        if (findKey(keys, parent) < 0)
            keys.append({parent, {}});
    }
    qsizetype index = findKey(keys, path);
    if (index < 0) {
        keys.append({path, {}});
        index = keys.size() - 1;
    }
    return index;
}

bool isValidKeyPath(QByteArrayView path) {
    return !path.isEmpty() && !path.contains(']') && !path.contains('\n') && !path.contains('\r') &&
           !path.startsWith('\\') && !path.endsWith('\\');
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

} // namespace

RegistryStore::RegistryStore(QString filePath)
    : m_filePath(std::move(filePath)) {}

QByteArray RegistryStore::serialize(const QList<Key>& keys) {
    QByteArray text(Header.data(), Header.size());
    for (const Key& key : keys) {
        text.append("\n[").append(key.path).append("]\n");
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
    const auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return std::nullopt;
    };
    QList<QByteArrayView> lines = splitLines(text);
    while (!lines.isEmpty() && lines.constLast().trimmed().isEmpty())
        lines.removeLast();
    if (lines.isEmpty() || lines.constLast() != EndLine)
        return fail(QStringLiteral("the file has no end line; it may have been cut short"));

    QList<Key> keys;
    qsizetype current = -1;
    for (qsizetype number = 1; number <= lines.size(); ++number) {
        const QByteArrayView line = lines.at(number - 1);
        if (line.trimmed().isEmpty() || line.startsWith(';'))
            continue;
        if (line.startsWith('[') && line.endsWith(']') &&
            isValidKeyPath(line.sliced(1, line.size() - 2))) {
            current = ensureKey(keys, line.sliced(1, line.size() - 2).toByteArray());
            continue;
        }
        const auto value = line.startsWith('"') ? parseValueLine(line) : std::nullopt;
        if (!value || current < 0)
            return fail(QStringLiteral("line %1 cannot be read").arg(number));
        QList<Value>& values = keys[current].values;
        const qsizetype existing = findValue(values, value->name);
        if (existing >= 0)
            values[existing] = *value;
        else
            values.append(*value);
    }
    return keys;
}

void RegistryStore::load(StatusLog* log) {
    m_keys.clear();
    m_writable = true;
    QFile file(m_filePath);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        keepAside(file.errorString(), log);
        return;
    }
    QString error;
    const auto keys = parse(file.readAll(), &error);
    if (!keys) {
        keepAside(error, log);
        return;
    }
    m_keys = *keys;
}

void RegistryStore::keepAside(const QString& reason, StatusLog* log) {
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = m_filePath + QStringLiteral(".unreadable-") + stamp;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = m_filePath + QStringLiteral(".unreadable-") + stamp + u'-' + QString::number(n);
    m_writable = QFile::rename(m_filePath, aside);
    if (!log)
        return;
    const QString problem = QStringLiteral("The settings file ") + m_filePath +
                            QStringLiteral(" cannot be read (") + reason + QStringLiteral(")");
    log->LogStatus(LogError,
                   m_writable ? problem + QStringLiteral("; it was kept as ") + aside +
                                    QStringLiteral(" and the settings start afresh.")
                              : problem + QStringLiteral(" nor kept aside; no setting will be "
                                                         "saved until it is mended or removed."));
}

bool RegistryStore::keyExists(const QByteArray& keyPath) const {
    return findKey(m_keys, keyPath) >= 0;
}

std::optional<RegistryStore::Value> RegistryStore::value(const QByteArray& keyPath,
                                                         const QByteArray& name) const {
    const qsizetype key = findKey(m_keys, keyPath);
    if (key < 0)
        return std::nullopt;
    const qsizetype index = findValue(m_keys.at(key).values, name);
    if (index < 0)
        return std::nullopt;
    return m_keys.at(key).values.at(index);
}

std::optional<QList<RegistryStore::Value>> RegistryStore::values(const QByteArray& keyPath) const {
    const qsizetype key = findKey(m_keys, keyPath);
    if (key < 0)
        return std::nullopt;
    return m_keys.at(key).values;
}

bool RegistryStore::createKey(const QByteArray& keyPath) {
    if (!isValidKeyPath(keyPath))
        return false;
    if (keyExists(keyPath))
        return true;
    QList<Key> keys = m_keys;
    ensureKey(keys, keyPath);
    return save(keys);
}

bool RegistryStore::setValue(const QByteArray& keyPath, const Value& value) {
    if (!isValidKeyPath(keyPath))
        return false;
    QList<Key> keys = m_keys;
    QList<Value>& values = keys[ensureKey(keys, keyPath)].values;
    const qsizetype existing = findValue(values, value.name);
    if (existing >= 0)
        values[existing] = value;
    else
        values.append(value);
    return save(keys);
}

bool RegistryStore::deleteValue(const QByteArray& keyPath, const QByteArray& name) {
    const qsizetype key = findKey(m_keys, keyPath);
    if (key < 0)
        return false;
    const qsizetype index = findValue(m_keys.at(key).values, name);
    if (index < 0)
        return false;
    QList<Key> keys = m_keys;
    keys[key].values.removeAt(index);
    return save(keys);
}

bool RegistryStore::save(const QList<Key>& keys) {
    if (!m_writable)
        return false;
    const QString folder = QFileInfo(m_filePath).absolutePath();
    if (!QDir().mkpath(folder))
        return false;
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly) ||
        !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;
    // QSaveFile renames without flushing the data to the disk first; without
    // the fsync a crash could leave an empty file under the settings' name.
    const QByteArray text = serialize(keys);
    if (file.write(text) != text.size() || !file.flush() || ::fsync(file.handle()) != 0 ||
        !file.commit())
        return false;
    syncFolder(folder);
    m_keys = keys;
    return true;
}
