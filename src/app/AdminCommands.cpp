#include "app/AdminCommands.h"

#include "app/AdminChannel.h"

#include "base/SafeText.h"
#include "base/StatusLog.h"
#include "net/GatewaySupervisor.h"
#include "settings/RegistryStore.h"
#include "settings/Settings.h"
#include "settings/SettingsPaths.h"
#include "settings/SharedFolderList.h"
#include "site/GuessThrottle.h"
#include "site/graffiti/GraffitiBoard.h"
#include "site/graffiti/GraffitiStore.h"

#include <QCommandLineParser>
#include <QDateTime>
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
const QString ForceOption = QStringLiteral("force");
const QString GraffitiOption = QStringLiteral("graffiti");

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
    error = Settings::RefusalOf(*option, value);
    if (*option == Settings::EnableGateway && value == "Y" && !GatewaySupervisor::KannelInstalled())
        error = GatewaySupervisor::InstallAdvice();
    if (!error.isEmpty())
        return std::nullopt;
    return Assignment{*option, value};
}

QByteArray folderArgument(const QString& path) {
    return SharedFolderList::CleanFolderPath(
        QFile::encodeName(QDir::current().absoluteFilePath(path)));
}

QString shown(const QByteArray& path) {
    return QFile::decodeName(path);
}

// Every --set of the command line, or the reason why one cannot be used.
std::optional<QList<Assignment>> assignmentsOf(const QCommandLineParser& parser, QString& error) {
    QList<Assignment> assignments;
    for (const QString& text : parser.values(SetOption)) {
        const auto assignment = parseAssignment(text, error);
        if (!assignment)
            return std::nullopt;
        assignments.append(*assignment);
    }
    return assignments;
}

// The commands of one command line, carried out on the live settings and
// shared folders.
class CommandRun {
public:
    CommandRun(const AdminTarget& target, QTextStream& out, QTextStream& err)
        : m_target(target)
        , m_out(out)
        , m_err(err) {}

    int run(const QCommandLineParser& parser) {
        QString error;
        const auto assignments = assignmentsOf(parser, error);
        if (!assignments) {
            m_err << "pocketlane: " << error << Qt::endl;
            return 2;
        }
        const QMetaObject::Connection echo = QObject::connect(
            &m_target.log, &StatusLog::lineAdded, [this](const StatusLog::Line& line) {
                m_err << StatusLog::formatLine(line) << Qt::endl;
            });
        m_force = parser.isSet(ForceOption);
        bool allDone = true;
        for (const Assignment& assignment : *assignments)
            allDone = apply(assignment) && allDone;
        for (const QString& path : parser.values(UnshareOption))
            allDone = unshare(path) && allDone;
        for (const QString& path : parser.values(ShareOption))
            allDone = share(path) && allDone;
        if (parser.isSet(ShowOption))
            show();
        if (parser.isSet(GraffitiOption))
            showGraffiti();
        QObject::disconnect(echo);
        return allDone ? 0 : 1;
    }

private:
    bool apply(const Assignment& assignment) {
        if (Settings::IsSwitch(assignment.option))
            return m_target.settings.setSwitch(assignment.option, assignment.value == "Y");
        const bool password = assignment.option == Settings::Password ||
                              assignment.option == Settings::MyComputerPassword;
        if (password && !assignment.value.isEmpty() &&
            GuessThrottle::FallsWithinADay(QString::fromUtf8(assignment.value)))
            m_err << Settings::ValueName(assignment.option) << ": "
                  << GuessThrottle::WeakPasswordWarning << Qt::endl;
        return m_target.settings.setText(assignment.option, assignment.value);
    }

    bool unshare(const QString& path) {
        const QByteArray folder = folderArgument(path);
        if (!m_target.folders.folders().contains(folder)) {
            m_err << shown(folder) << " is not a shared folder." << Qt::endl;
            return false;
        }
        return m_target.folders.removeFolder(folder);
    }

    bool share(const QString& path) {
        const QByteArray folder = folderArgument(path);
        if (!QFileInfo(shown(folder)).isDir()) {
            m_err << "Cannot share " << shown(folder) << ": it is not a folder." << Qt::endl;
            return false;
        }
        const auto result = m_target.folders.addFolder(
            folder, [] { return true; }, [this](const QString&) { return m_force; });
        for (const QByteArray& replaced : result.replacedFolders)
            m_out << "Removed the shared sub folder " << shown(replaced) << "." << Qt::endl;
        switch (result.outcome) {
        case SharedFolderList::AddResult::Added:
            m_out << "Sharing " << shown(folder) << "." << Qt::endl;
            return true;
        case SharedFolderList::AddResult::AlreadyShared:
            m_err << "Cannot share " << shown(folder) << " (shared: " << shown(result.parent)
                  << "). " << SharedFolderList::AlreadySharedText().replace(u'\r', u' ')
                  << Qt::endl;
            return false;
        case SharedFolderList::AddResult::Exposing:
            m_err << "Cannot share " << shown(folder) << ": " << result.exposure
                  << " Give --force with --share to share it all the same." << Qt::endl;
            return false;
        default:
            return false;
        }
    }

    void show() {
        m_out << "Settings file: " << m_target.settingsFile << Qt::endl;
        for (int index = 0; index < Settings::OptionCount; ++index) {
            const auto option = Settings::Option(index);
            m_out << Settings::ValueName(option) << "="
                  << QString::fromUtf8(m_target.settings.storedForm(option)) << Qt::endl;
        }
        const QList<QByteArray>& folders = m_target.folders.folders();
        m_out << "Shared folders:" << (folders.isEmpty() ? " none" : "") << Qt::endl;
        for (const QByteArray& folder : folders)
            m_out << "  " << shown(folder) << Qt::endl;
    }

    // Time and text, one message a line, oldest first; a line break in a
    // message shows as "\n".
    void showGraffiti() {
        for (const GraffitiMessage& message : m_target.board.entries())
            m_out << QDateTime::fromMSecsSinceEpoch(message.postedMs)
                         .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                  << '\t'
                  << QString::fromUtf8(
                         SafeText::ForLog(message.text, GraffitiBoard::MaxMessageCharacters))
                  << Qt::endl;
    }

    const AdminTarget& m_target;
    QTextStream& m_out;
    QTextStream& m_err;
    bool m_force = false;
};

// The settings and shared folders of a settings file, loaded as at a start of
// the program, for commands while no program runs on it. While loading only
// failures are echoed to `err`, so that a command prints what it did rather
// than the start-up summary.
class OfflineSession {
public:
    explicit OfflineSession(const QString& settingsFile)
        : m_store(settingsFile)
        , m_settings(m_store, m_log)
        , m_folders(m_store, m_log)
        , m_board(m_settings)
        , m_storedBoard(m_board, m_settings, m_log) {
        m_log.setExtendedLoggingSwitch([this] { return m_settings.extendedLogging(); });
    }

    RegistryStore& store() { return m_store; }
    AdminTarget target() { return {m_settings, m_folders, m_board, m_log, m_store.filePath()}; }

    // A file that cannot be read is left as it is and changes nothing: a
    // command must not replace the owner's settings (the site password, say)
    // with first-run values.
    // The stored Graffiti are read only when `withGraffiti`.
    bool load(QTextStream& err, bool withGraffiti) {
        if (!m_store.load(&m_log)) {
            err << "pocketlane: " << m_store.loadProblem()
                << "; nothing was changed. Mend that line or remove the file." << Qt::endl;
            return false;
        }
        const QMetaObject::Connection echo =
            QObject::connect(&m_log, &StatusLog::lineAdded, [&err](const StatusLog::Line& line) {
                if (line.level == LogError)
                    err << StatusLog::formatLine(line) << Qt::endl;
            });
        bool loaded = true;
        m_folders.ReloadSharedFolders();
        try {
            m_settings.LoadSettings();
            if (withGraffiti)
                m_storedBoard.Start();
        } catch (const RegistryError& error) {
            err << "Loading Error: " << error.Description() << Qt::endl;
            loaded = false;
        }
        QObject::disconnect(echo);
        return loaded;
    }

private:
    StatusLog m_log;
    RegistryStore m_store;
    Settings m_settings;
    SharedFolderList m_folders;
    GraffitiBoard m_board;
    GraffitiStore m_storedBoard;
};

// The administration arguments of the command line, with folder paths made
// absolute, as the running program receives them.
QStringList adminArguments(const QCommandLineParser& parser) {
    QStringList arguments;
    for (const QString& assignment : parser.values(SetOption))
        arguments << QStringLiteral("--") + SetOption << assignment;
    for (const QString& path : parser.values(UnshareOption))
        arguments << QStringLiteral("--") + UnshareOption << shown(folderArgument(path));
    for (const QString& path : parser.values(ShareOption))
        arguments << QStringLiteral("--") + ShareOption << shown(folderArgument(path));
    if (parser.isSet(ForceOption))
        arguments << QStringLiteral("--") + ForceOption;
    if (parser.isSet(ShowOption))
        arguments << QStringLiteral("--") + ShowOption;
    if (parser.isSet(GraffitiOption))
        arguments << QStringLiteral("--") + GraffitiOption;
    return arguments;
}

int askRunningProgram(AdminConnection& program, const QStringList& arguments, QTextStream& out,
                      QTextStream& err) {
    const auto reply = program.ask(arguments);
    if (!reply) {
        err << "pocketlane: the running Pocketlane did not answer; nothing may have changed."
            << Qt::endl;
        return 1;
    }
    out << reply->out;
    err << reply->err;
    out.flush();
    err.flush();
    return reply->exitCode;
}

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
    parser.addOption({ForceOption, QStringLiteral("With --share: share / , the home folder or the "
                                                  "folder of the settings file all the same.")});
    parser.addOption({GraffitiOption, QStringLiteral("Print the Graffiti board (time and text of "
                                                     "each message, one a line), and exit.")});
}

QString settingsOptionValue(const QCommandLineParser& parser) {
    return parser.value(SettingsOption);
}

bool wantsAdminCommand(const QCommandLineParser& parser) {
    return parser.isSet(SetOption) || parser.isSet(ShowOption) || parser.isSet(ShareOption) ||
           parser.isSet(UnshareOption) || parser.isSet(GraffitiOption);
}

int executeAdminCommands(const QStringList& arguments, const AdminTarget& target, QTextStream& out,
                         QTextStream& err) {
    QCommandLineParser parser;
    addAdminOptions(parser);
    if (!parser.parse(QStringList{QStringLiteral("pocketlane")} + arguments)) {
        err << "pocketlane: " << parser.errorText() << Qt::endl;
        return 2;
    }
    return CommandRun(target, out, err).run(parser);
}

// The lock is held from before the look for a running program until the
// commands are written, so that a program starting meanwhile reads the file
// only after them (it loads under the same lock before it listens).
int runAdminCommands(const QCommandLineParser& parser, QTextStream& out, QTextStream& err) {
    QString error;
    if (!assignmentsOf(parser, error)) {
        err << "pocketlane: " << error << Qt::endl;
        return 2;
    }
    const QStringList arguments = adminArguments(parser);
    OfflineSession session(SettingsPaths::SettingsFile(settingsOptionValue(parser)));
    std::optional<RegistryStore::ExclusiveAccess> access(std::in_place, session.store());
    AdminConnection program;
    switch (program.connectTo(session.store().filePath())) {
    case AdminConnection::Connected:
        access.reset();
        return askRunningProgram(program, arguments, out, err);
    case AdminConnection::Busy:
        access.reset();
        if (!program.waitUntilConnected()) {
            err << "pocketlane: the running Pocketlane did not take the command." << Qt::endl;
            return 1;
        }
        return askRunningProgram(program, arguments, out, err);
    case AdminConnection::NoProgram:
        break;
    }
    if (!session.load(err, parser.isSet(GraffitiOption)))
        return 1;
    return executeAdminCommands(arguments, session.target(), out, err);
}
