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
QString ExecArgument(const QString& sProgram) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    const bool needsQuotes =
        std::any_of(sProgram.begin(), sProgram.end(), [](QChar c) { return reserved.contains(c); });
    if (!needsQuotes)
        return sProgram;
    QString quoted;
    for (QChar c : sProgram) {
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

QByteArray Contents(const QString& sProgram) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Pocketlane\n"
           "Comment=Personal WAP server\n"
           "Exec=" +
           ExecArgument(sProgram).toUtf8() +
           "\n"
           "Icon=pocketlane\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool SetPresent(bool bPresent, const QString& sProgram, QString& sError) {
    const QString file = File();
    if (!bPresent) {
        QFile entry(file);
        if (!entry.exists() || entry.remove())
            return true;
        sError = entry.errorString();
        return false;
    }
    QDir().mkpath(QFileInfo(file).absolutePath());
    QSaveFile entry(file);
    if (entry.open(QIODevice::WriteOnly) && entry.write(Contents(sProgram)) >= 0 && entry.commit())
        return true;
    sError = entry.errorString();
    return false;
}

} // namespace AutostartEntry
