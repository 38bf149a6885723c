#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <exception>
#include <optional>

class StatusLog;

// A failure of the settings store: number 26001, a description and the
// source that raised it.
class RegistryError : public std::exception {
public:
    static constexpr int ErrorNumber = 26001;

    RegistryError(QString description, QString source);

    int Number() const { return ErrorNumber; }
    const QString& Description() const { return m_description; }
    const QString& Source() const { return m_source; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    QString m_description;
    QString m_source;
    QByteArray m_what;
};

// The owner's settings on disk: one human-readable text file laid out like a
// registry export. Each section "[ROOT\Key\Path]" is a key, each line
// "Name"="text" below it a value; expand:"text" marks a value whose
// %VARIABLE% references are expanded when read. The file ends with an end
// line, so that a file cut short is recognised.
//
// The file is read once by load(); every change rewrites it atomically
// (temporary file, flushed to disk, renamed over the old one) and leaves it
// readable by its owner only, since it holds passwords. Key paths compare
// without regard to letter case, value names exactly (they may be Linux
// paths).
class RegistryStore {
public:
    struct Value {
        QByteArray name;
        QByteArray data;
        bool expandable = false;
    };

    explicit RegistryStore(QString filePath);

    const QString& filePath() const { return m_filePath; }

    // Reads the file. A missing file is an empty store. A file that cannot
    // be read or parsed is renamed aside (its name gets ".unreadable-" and
    // the time) and reported at level 1 on `log`; the store starts empty.
    // When even the rename fails, the store refuses every write, so the
    // owner's file is never overwritten.
    void load(StatusLog* log);

    bool keyExists(const QByteArray& keyPath) const;
    std::optional<Value> value(const QByteArray& keyPath, const QByteArray& name) const;
    // The key's values in file order, or nothing when the key is missing.
    std::optional<QList<Value>> values(const QByteArray& keyPath) const;

    // The changes below take effect only when the file has been written;
    // they return false (and leave the store as it was) otherwise.
    // Creating a key creates its parent keys too.
    bool createKey(const QByteArray& keyPath);
    bool setValue(const QByteArray& keyPath, const Value& value);
    bool deleteValue(const QByteArray& keyPath, const QByteArray& name);

    // The file's text for the given keys, and the keys read back from such
    // a text (nothing, with the reason, when it cannot be parsed).
    struct Key {
        QByteArray path;
        QList<Value> values;
    };
    static QByteArray serialize(const QList<Key>& keys);
    static std::optional<QList<Key>> parse(const QByteArray& text, QString* error);

private:
    bool save(const QList<Key>& keys);
    void keepAside(const QString& reason, StatusLog* log);

    QString m_filePath;
    QList<Key> m_keys;
    bool m_writable = true;
};
