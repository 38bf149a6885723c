#include "app/AdminCommands.h"

#include "base/StatusLog.h"
#include "settings/RegistryStore.h"
#include "settings/Settings.h"
#include "settings/SettingsPaths.h"
#include "settings/SharedFolderList.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace {

const QString SettingsOption = QStringLiteral("settings");
const QString SetOption = QStringLiteral("set");
const QString ShowOption = QStringLiteral("show-settings");
const QString ShareOption = QStringLiteral("share");
const QString UnshareOption = QStringLiteral("unshare");

struct Assignment {
    Settings::Option option;
    QByteArray value;
};

QString allOptionNames() {
    QStringList names;
    for (int option = 0; option < Settings::OptionCount; ++option)
        names << QString::fromLatin1(Settings::ValueName(Settings::Option(option)));
    return names.join(QStringLiteral(", "));
}

// Reads "NAME=VALUE"; explains in `error` what is wrong with it otherwise.
std::optional<Assignment> parseAssignment(const QString& text, QString& error) {
    const qsizetype equals = text.indexOf(u'=');
    if (equals <= 0) {
        error = QStringLiteral("--set needs NAME=VALUE, not \"") + text + u'"';
        return std::nullopt;
    }
    const QString name = text.left(equals);
    const auto option = Settings::OptionNamed(name.toUtf8());
    if (!option) {
        error = QStringLiteral("unknown setting \"") + name +
                QStringLiteral("\"; the settings are: ") + allOptionNames();
        return std::nullopt;
    }
    const QByteArray value = text.mid(equals + 1).toUtf8();
    if (Settings::IsSwitch(*option) && value != "Y" && value != "N") {
        error = QString::fromLatin1(Settings::ValueName(*option)) +
                QStringLiteral(" is a switch and takes Y or N, not \"") + QString::fromUtf8(value) +
                u'"';
        return std::nullopt;
    }
    return Assignment{*option, value};
}

QByteArray folderArgument(const QString& path) {
    return SharedFolderList::CleanFolderPath(
        QFile::encodeName(QDir::current().absoluteFilePath(path)));
}

QString shown(const QByteArray& path) {
    return QFile::decodeName(path);
}

// The server's settings and shared folders, loaded as at a start of the
// program. Log lines go to `err`; while loading only failures, so that a
// command prints what it did rather than the start-up summary.
class AdminSession {
public:
    AdminSession(const QString& settingsFile, QTextStream& err)
        : m_store(settingsFile)
        , m_settings(m_store, m_log)
        , m_folders(m_store, m_log) {
        m_log.setExtendedLoggingSwitch([this] { return m_settings.extendedLogging(); });
        QObject::connect(&m_log, &StatusLog::lineAdded, [this, &err](const StatusLog::Line& line) {
            if (!m_loading || line.level == LogError)
                err << StatusLog::formatLine(line) << Qt::endl;
        });
    }

    bool load(QTextStream& err) {
        m_store.load(&m_log);
        m_folders.ReloadSharedFolders();
        try {
            m_settings.LoadSettings();
        } catch (const RegistryError& error) {
            err << "Loading Error: " << error.Description() << Qt::endl;
            return false;
        }
        m_loading = false;
        return true;
    }

    bool apply(const Assignment& assignment) {
        if (Settings::IsSwitch(assignment.option))
            return m_settings.setSwitch(assignment.option, assignment.value == "Y");
        return m_settings.setText(assignment.option, assignment.value);
    }

    bool unshare(const QString& path, QTextStream& err) {
        const QByteArray folder = folderArgument(path);
        if (!m_folders.folders().contains(folder)) {
            err << shown(folder) << " is not a shared folder." << Qt::endl;
            return false;
        }
        return m_folders.removeFolder(folder);
    }

    bool share(const QString& path, QTextStream& out, QTextStream& err) {
        const QByteArray folder = folderArgument(path);
        if (!QFileInfo(shown(folder)).isDir()) {
            err << "Cannot share " << shown(folder) << ": it is not a folder." << Qt::endl;
            return false;
        }
        const auto result = m_folders.addFolder(folder, [] { return true; });
        for (const QByteArray& replaced : result.replacedFolders)
            out << "Removed the shared sub folder " << shown(replaced) << "." << Qt::endl;
        switch (result.outcome) {
        case SharedFolderList::AddResult::Added:
            out << "Sharing " << shown(folder) << "." << Qt::endl;
            return true;
        case SharedFolderList::AddResult::AlreadyShared:
            err << "Cannot share " << shown(folder) << " (shared: " << shown(result.parent) << "). "
                << SharedFolderList::AlreadySharedText().replace(u'\r', u' ') << Qt::endl;
            return false;
        default:
            return false;
        }
    }

    void show(QTextStream& out) const {
        out << "Settings file: " << m_store.filePath() << Qt::endl;
        for (int index = 0; index < Settings::OptionCount; ++index) {
            const auto option = Settings::Option(index);
            out << Settings::ValueName(option) << "="
                << QString::fromUtf8(m_settings.storedForm(option)) << Qt::endl;
        }
        out << "Shared folders:" << (m_folders.isEmpty() ? " none" : "") << Qt::endl;
        for (const QByteArray& folder : m_folders.folders())
            out << "  " << shown(folder) << Qt::endl;
    }

private:
    StatusLog m_log;
    RegistryStore m_store;
    Settings m_settings;
    SharedFolderList m_folders;
    bool m_loading = true;
};

} // namespace

void addAdminOptions(QCommandLineParser& parser) {
    parser.addOption({SettingsOption,
                      QStringLiteral("Keep the settings in <file> (default: $%1, else "
                                     "~/.config/pocketlane/settings.reg).")
                          .arg(QString::fromLatin1(SettingsPaths::SettingsVariable)),
                      QStringLiteral("file")});
    parser.addOption({SetOption,
                      QStringLiteral("Set an option and exit (repeatable); a switch takes Y or "
                                     "N. The options: ") +
                          allOptionNames() + u'.',
                      QStringLiteral("name=value")});
    parser.addOption(
        {ShowOption, QStringLiteral("Print every option and the shared folders, and exit.")});
    parser.addOption({ShareOption, QStringLiteral("Share a folder and exit (repeatable)."),
                      QStringLiteral("path")});
    parser.addOption({UnshareOption, QStringLiteral("Stop sharing a folder and exit (repeatable)."),
                      QStringLiteral("path")});
}

QString settingsOptionValue(const QCommandLineParser& parser) {
    return parser.value(SettingsOption);
}

bool wantsAdminCommand(const QCommandLineParser& parser) {
    return parser.isSet(SetOption) || parser.isSet(ShowOption) || parser.isSet(ShareOption) ||
           parser.isSet(UnshareOption);
}

int runAdminCommands(const QCommandLineParser& parser, QTextStream& out, QTextStream& err) {
    QList<Assignment> assignments;
    for (const QString& text : parser.values(SetOption)) {
        QString error;
        const auto assignment = parseAssignment(text, error);
        if (!assignment) {
            err << "pocketlane: " << error << Qt::endl;
            return 2;
        }
        assignments.append(*assignment);
    }

    AdminSession session(SettingsPaths::SettingsFile(settingsOptionValue(parser)), err);
    if (!session.load(err))
        return 1;
    bool allDone = true;
    for (const Assignment& assignment : std::as_const(assignments))
        allDone = session.apply(assignment) && allDone;
    for (const QString& path : parser.values(UnshareOption))
        allDone = session.unshare(path, err) && allDone;
    for (const QString& path : parser.values(ShareOption))
        allDone = session.share(path, out, err) && allDone;
    if (parser.isSet(ShowOption))
        session.show(out);
    return allDone ? 0 : 1;
}
