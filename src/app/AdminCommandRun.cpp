#include "app/AdminCommandRun.h"

#include "app/AdminOptionNames.h"

#include "base/SafeText.h"
#include "base/StatusLog.h"
#include "net/GatewaySupervisor.h"
#include "settings/SharedFolderList.h"
#include "site/GuessThrottle.h"
#include "site/graffiti/GraffitiBoard.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace {

// Reads "NAME=VALUE"; explains in `error` what is wrong with it otherwise.
std::optional<AdminCommandRun::Assignment> parseAssignment(const QString& text, QString& error) {
    const qsizetype equals = text.indexOf(u'=');
    if (equals <= 0) {
        error = QStringLiteral("--set needs NAME=VALUE, not \"") + text + u'"';
        return std::nullopt;
    }
    const QString name = text.left(equals);
    const auto option = Settings::OptionNamed(name.toUtf8());
    if (!option) {
        error = QStringLiteral("unknown setting \"") + name +
                QStringLiteral("\"; the settings are: ") + AdminCommandRun::AllOptionNames();
        return std::nullopt;
    }
    const QByteArray value = text.mid(equals + 1).toUtf8();
    error = Settings::RefusalOf(*option, value);
    if (*option == Settings::EnableGateway && value == "Y" && !GatewaySupervisor::KannelInstalled())
        error = GatewaySupervisor::InstallAdvice();
    if (!error.isEmpty())
        return std::nullopt;
    return AdminCommandRun::Assignment{*option, value};
}

} // namespace

QString AdminCommandRun::AllOptionNames() {
    QStringList names;
    for (int option = 0; option < Settings::OptionCount; ++option)
        names << QString::fromLatin1(Settings::ValueName(Settings::Option(option)));
    return names.join(QStringLiteral(", "));
}

QByteArray AdminCommandRun::FolderArgument(const QString& path) {
    return SharedFolderList::CleanFolderPath(
        QFile::encodeName(QDir::current().absoluteFilePath(path)));
}

QString AdminCommandRun::Shown(const QByteArray& path) {
    return QFile::decodeName(path);
}

std::optional<QList<AdminCommandRun::Assignment>>
AdminCommandRun::AssignmentsOf(const QCommandLineParser& parser, QString& error) {
    QList<Assignment> assignments;
    for (const QString& text : parser.values(AdminOptionNames::SetOption)) {
        const auto assignment = parseAssignment(text, error);
        if (!assignment)
            return std::nullopt;
        assignments.append(*assignment);
    }
    return assignments;
}

AdminCommandRun::AdminCommandRun(const AdminTarget& target, QTextStream& out, QTextStream& err)
    : m_target(target)
    , m_out(out)
    , m_err(err) {}

int AdminCommandRun::Run(const QCommandLineParser& parser) {
    QString error;
    const auto assignments = AssignmentsOf(parser, error);
    if (!assignments) {
        m_err << "pocketlane: " << error << Qt::endl;
        return 2;
    }
    const QMetaObject::Connection echo =
        QObject::connect(&m_target.log, &StatusLog::lineAdded, [this](const StatusLog::Line& line) {
            m_err << StatusLog::formatLine(line) << Qt::endl;
        });
    m_force = parser.isSet(AdminOptionNames::ForceOption);
    bool allDone = true;
    for (const Assignment& assignment : *assignments)
        allDone = apply(assignment) && allDone;
    for (const QString& path : parser.values(AdminOptionNames::UnshareOption))
        allDone = unshare(path) && allDone;
    for (const QString& path : parser.values(AdminOptionNames::ShareOption))
        allDone = share(path) && allDone;
    if (parser.isSet(AdminOptionNames::ShowOption))
        show();
    if (parser.isSet(AdminOptionNames::GraffitiOption))
        showGraffiti();
    QObject::disconnect(echo);
    return allDone ? 0 : 1;
}

bool AdminCommandRun::apply(const Assignment& assignment) {
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

bool AdminCommandRun::unshare(const QString& path) {
    const QByteArray folder = FolderArgument(path);
    if (!m_target.folders.folders().contains(folder)) {
        m_err << Shown(folder) << " is not a shared folder." << Qt::endl;
        return false;
    }
    return m_target.folders.removeFolder(folder);
}

bool AdminCommandRun::share(const QString& path) {
    const QByteArray folder = FolderArgument(path);
    if (!QFileInfo(Shown(folder)).isDir()) {
        m_err << "Cannot share " << Shown(folder) << ": it is not a folder." << Qt::endl;
        return false;
    }
    const auto result = m_target.folders.addFolder(
        folder, [] { return true; }, [this](const QString&) { return m_force; });
    for (const QByteArray& replaced : result.replacedFolders)
        m_out << "Removed the shared sub folder " << Shown(replaced) << "." << Qt::endl;
    switch (result.outcome) {
    case SharedFolderList::AddResult::Added:
        m_out << "Sharing " << Shown(folder) << "." << Qt::endl;
        return true;
    case SharedFolderList::AddResult::AlreadyShared:
        m_err << "Cannot share " << Shown(folder) << " (shared: " << Shown(result.parent) << "). "
              << SharedFolderList::AlreadySharedText().replace(u'\r', u' ') << Qt::endl;
        return false;
    case SharedFolderList::AddResult::Exposing:
        m_err << "Cannot share " << Shown(folder) << ": " << result.exposure
              << " Give --force with --share to share it all the same." << Qt::endl;
        return false;
    default:
        return false;
    }
}

void AdminCommandRun::show() {
    m_out << "Settings file: " << m_target.settingsFile << Qt::endl;
    for (int index = 0; index < Settings::OptionCount; ++index) {
        const auto option = Settings::Option(index);
        m_out << Settings::ValueName(option) << "="
              << QString::fromUtf8(m_target.settings.storedForm(option)) << Qt::endl;
    }
    const QList<QByteArray>& folders = m_target.folders.folders();
    m_out << "Shared folders:" << (folders.isEmpty() ? " none" : "") << Qt::endl;
    for (const QByteArray& folder : folders)
        m_out << "  " << Shown(folder) << Qt::endl;
}

// Time and text, one message a line, oldest first; a line break in a
// message shows as "\n".
void AdminCommandRun::showGraffiti() {
    for (const GraffitiMessage& message : m_target.board.entries())
        m_out << QDateTime::fromMSecsSinceEpoch(message.postedMs)
                     .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
              << '\t'
              << QString::fromUtf8(
                     SafeText::ForLog(message.text, GraffitiBoard::MaxMessageCharacters))
              << Qt::endl;
}
