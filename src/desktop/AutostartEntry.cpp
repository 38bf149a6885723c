#include "desktop/AutostartEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace AutostartEntry {

namespace {

// A program path as a desktop entry's Exec key takes it: quoted when it
// holds a character the key reserves, with the quoting's own characters
// escaped, and each backslash escaped once more for the key's string value.
QString ExecArgument(const QString& program) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    const bool needsQuotes =
        std::any_of(program.begin(), program.end(), [](QChar c) { return reserved.contains(c); });
    if (!needsQuotes)
        return program;
    QString quoted;
    for (QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted.replace(u'\\', QStringLiteral("\\\\"));
    return u'"' + quoted + u'"';
}

} // namespace

QString File() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/pocketlane.desktop");
}

bool IsPresent() {
    return QFileInfo::exists(File());
}

QByteArray Contents(const QString& program) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Pocketlane\n"
           "Comment=Personal WAP server\n"
           "Exec=" +
           ExecArgument(program).toUtf8() +
           "\n"
           "Icon=pocketlane\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool SetPresent(bool present, const QString& program, QString& error) {
    const QString file = File();
    if (!present) {
        QFile entry(file);
        if (!entry.exists() || entry.remove())
            return true;
        error = entry.errorString();
        return false;
    }
    QDir().mkpath(QFileInfo(file).absolutePath());
    QSaveFile entry(file);
    if (entry.open(QIODevice::WriteOnly) && entry.write(Contents(program)) >= 0 && entry.commit())
        return true;
    error = entry.errorString();
    return false;
}

} // namespace AutostartEntry
