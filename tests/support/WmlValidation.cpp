#include "support/WmlValidation.h"

#include "support/TestSupport.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace WmlValidation {

namespace {
const char XmllintPath[] = "xmllint";
const char WmlTesterPath[] = "/usr/lib/kannel/test/wml_tester";
constexpr int ToolTimeoutMs = 60000;

struct ToolRun {
    QStringList problems; // set when the tool could not do its work
    int exitCode = 0;
    QString output; // standard output and standard error together
};

ToolRun RunOnDeck(const QByteArray& deck, const QString& program, const QStringList& arguments,
                  const QProcessEnvironment& environment) {
    ToolRun run;
    QTemporaryDir folder;
    const QString deckPath = folder.filePath(QStringLiteral("deck.wml"));
    QFile file(deckPath);
    if (!folder.isValid() || !file.open(QIODevice::WriteOnly) || file.write(deck) != deck.size()) {
        run.problems << QStringLiteral("could not write the deck to a temporary file");
        return run;
    }
    file.close();

    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(folder.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments + QStringList{deckPath});
    if (!process.waitForStarted(ToolTimeoutMs)) {
        run.problems << program + QStringLiteral(" could not be started: ") + process.errorString();
        return run;
    }
    if (!process.waitForFinished(ToolTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        run.problems << program + QStringLiteral(" did not finish in time");
        return run;
    }
    run.output = QString::fromUtf8(process.readAll()).replace(deckPath, QStringLiteral("deck"));
    if (process.exitStatus() != QProcess::NormalExit)
        run.problems << program + QStringLiteral(" crashed");
    run.exitCode = process.exitCode();
    return run;
}

QString CatalogPath() {
    return TestSupport::sourceDir() + QStringLiteral("/tests/support/wml-catalog.xml");
}

// xmllint prints each message on a line that starts with the file name,
// followed by lines that show where in the deck it is.
QStringList GroupMessages(const QString& output) {
    QStringList messages;
    for (const QString& line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.startsWith(QStringLiteral("deck:")) || messages.isEmpty())
            messages << line;
        else
            messages.last() += QLatin1Char('\n') + line;
    }
    return messages;
}
} // namespace

QStringList DtdProblems(const QByteArray& deck) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XML_CATALOG_FILES"), CatalogPath());
    const ToolRun run =
        RunOnDeck(deck, QString::fromLatin1(XmllintPath),
                  {QStringLiteral("--nonet"), QStringLiteral("--noout"), QStringLiteral("--valid")},
                  environment);
    QStringList problems = run.problems + GroupMessages(run.output);
    if (problems.isEmpty() && run.exitCode != 0)
        problems << QStringLiteral("xmllint exited with %1").arg(run.exitCode);
    return problems;
}

QStringList GatewayProblems(const QByteArray& deck) {
    // The compiled deck goes to a file in the working folder, a temporary
    // one, so that only the tool's messages are left in its output.
    const ToolRun run = RunOnDeck(deck, QString::fromLatin1(WmlTesterPath),
                                  {QStringLiteral("-f"), QStringLiteral("compiled.wmlc")},
                                  QProcessEnvironment::systemEnvironment());
    QStringList problems = run.problems;
    // Lines read "<date> <time> [pid] [thread] LEVEL: message".
    static const QRegularExpression messageLine(
        QStringLiteral("\\] ((?:ERROR|WARNING|PANIC): .*)$"), QRegularExpression::MultilineOption);
    for (auto match = messageLine.globalMatch(run.output); match.hasNext();)
        problems << match.next().captured(1);
    if (run.problems.isEmpty() && run.exitCode != 0)
        problems << QStringLiteral("wml_tester exited with %1").arg(run.exitCode);
    return problems;
}

QStringList DeckProblems(const QByteArray& deck) {
    return DtdProblems(deck) + GatewayProblems(deck);
}

} // namespace WmlValidation
