#pragma once

#include "app/AdminTarget.h"
#include "settings/Settings.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

class QCommandLineParser;
class QTextStream;

// The commands of one command line, carried out on the live settings and
// shared folders.
class AdminCommandRun {
public:
    // One --set: the option and its new value.
    struct Assignment {
        Settings::Option option;
        QByteArray value;
    };

    AdminCommandRun(const AdminTarget& target, QTextStream& out, QTextStream& err);

    // Runs the commands in their order; returns the exit code.
    int Run(const QCommandLineParser& parser);

    // Every --set of the command line, or the reason why one cannot be used.
    static std::optional<QList<Assignment>> AssignmentsOf(const QCommandLineParser& parser,
                                                          QString& error);
    // The names of all options, for the help text and for refusals.
    static QString AllOptionNames();
    // A folder of the command line, absolute and cleaned as the list keeps it.
    static QByteArray FolderArgument(const QString& path);
    static QString Shown(const QByteArray& path);

private:
    bool apply(const Assignment& assignment);
    bool unshare(const QString& path);
    bool share(const QString& path);
    void show();
    void showGraffiti();

    const AdminTarget& m_target;
    QTextStream& m_out;
    QTextStream& m_err;
    bool m_force = false;
};
