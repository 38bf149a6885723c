#include "app/AdminCommands.h"

#include "app/AdminChannel.h"
#include "app/AdminCommandRun.h"
#include "app/AdminOptionNames.h"
#include "app/OfflineSession.h"

#include "settings/SettingsPaths.h"

#include <QCommandLineParser>
#include <QTextStream>

namespace {

// The administration arguments of the command line, with folder paths made
// absolute, as the running program receives them.
QStringList adminArguments(const QCommandLineParser& parser) {
    QStringList arguments;
    for (const QString& assignment : parser.values(AdminOptionNames::SetOption))
        arguments << QStringLiteral("--") + AdminOptionNames::SetOption << assignment;
    for (const QString& path : parser.values(AdminOptionNames::UnshareOption))
        arguments << QStringLiteral("--") + AdminOptionNames::UnshareOption
                  << AdminCommandRun::Shown(AdminCommandRun::FolderArgument(path));
    for (const QString& path : parser.values(AdminOptionNames::ShareOption))
        arguments << QStringLiteral("--") + AdminOptionNames::ShareOption
                  << AdminCommandRun::Shown(AdminCommandRun::FolderArgument(path));
    if (parser.isSet(AdminOptionNames::ForceOption))
        arguments << QStringLiteral("--") + AdminOptionNames::ForceOption;
    if (parser.isSet(AdminOptionNames::ShowOption))
        arguments << QStringLiteral("--") + AdminOptionNames::ShowOption;
    if (parser.isSet(AdminOptionNames::GraffitiOption))
        arguments << QStringLiteral("--") + AdminOptionNames::GraffitiOption;
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
    parser.addOption({AdminOptionNames::SettingsOption,
                      QStringLiteral("Keep the settings in <file> (default: $%1, else "
                                     "~/.config/pocketlane/settings.reg).")
                          .arg(QString::fromLatin1(SettingsPaths::SettingsVariable)),
                      QStringLiteral("file")});
    parser.addOption({AdminOptionNames::SetOption,
                      QStringLiteral("Set an option and exit (repeatable); a switch takes Y or "
                                     "N. The options: ") +
                          AdminCommandRun::AllOptionNames() + u'.',
                      QStringLiteral("name=value")});
    parser.addOption({AdminOptionNames::ShowOption,
                      QStringLiteral("Print every option and the shared folders, and exit.")});
    parser.addOption({AdminOptionNames::ShareOption,
                      QStringLiteral("Share a folder and exit (repeatable)."),
                      QStringLiteral("path")});
    parser.addOption({AdminOptionNames::UnshareOption,
                      QStringLiteral("Stop sharing a folder and exit (repeatable)."),
                      QStringLiteral("path")});
    parser.addOption({AdminOptionNames::ForceOption,
                      QStringLiteral("With --share: share / , the home folder or the "
                                     "folder of the settings file all the same.")});
    parser.addOption({AdminOptionNames::GraffitiOption,
                      QStringLiteral("Print the Graffiti board (time and text of "
                                     "each message, one a line), and exit.")});
}

QString settingsOptionValue(const QCommandLineParser& parser) {
    return parser.value(AdminOptionNames::SettingsOption);
}

bool wantsAdminCommand(const QCommandLineParser& parser) {
    return parser.isSet(AdminOptionNames::SetOption) ||
           parser.isSet(AdminOptionNames::ShowOption) ||
           parser.isSet(AdminOptionNames::ShareOption) ||
           parser.isSet(AdminOptionNames::UnshareOption) ||
           parser.isSet(AdminOptionNames::GraffitiOption);
}

int executeAdminCommands(const QStringList& arguments, const AdminTarget& target, QTextStream& out,
                         QTextStream& err) {
    QCommandLineParser parser;
    addAdminOptions(parser);
    if (!parser.parse(QStringList{QStringLiteral("pocketlane")} + arguments)) {
        err << "pocketlane: " << parser.errorText() << Qt::endl;
        return 2;
    }
    return AdminCommandRun(target, out, err).Run(parser);
}

// The lock is held from before the look for a running program until the
// commands are written, so that a program starting meanwhile reads the file
// only after them (it loads under the same lock before it listens).
int runAdminCommands(const QCommandLineParser& parser, QTextStream& out, QTextStream& err) {
    QString error;
    if (!AdminCommandRun::AssignmentsOf(parser, error)) {
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
    if (!session.load(err, parser.isSet(AdminOptionNames::GraffitiOption)))
        return 1;
    return executeAdminCommands(arguments, session.target(), out, err);
}
