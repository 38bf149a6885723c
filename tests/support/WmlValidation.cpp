#include "support/WmlValidation.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <functional>

namespace WmlValidation {

namespace {
constexpr int ToolTimeoutMs = 60000;

// The repository's copy of the WML DTD, and the XHTML DTDs of w3c-sgml-lib.
QString WmlCatalog() {
    return TestSupport::sourceDir() + QStringLiteral("/tests/support/wml-catalog.xml");
}
const QString XhtmlCatalog = QStringLiteral("/usr/share/xml/w3c-sgml-lib/schema/dtd/catalog.xml");

// Runs the tool on the deck, written to a file in a temporary working folder
// (named "deck" in the messages), with the DOCTYPE resolved through the
// catalog to a local copy of the DTD. The problems are what `messagesIn`
// finds in its output and error output, or why the tool could not do its work.
// `inFolder` looks at the working folder once the tool has run.
QStringList RunOnDeck(const QByteArray& deck, const QString& catalog, const QString& program,
                      const QStringList& arguments,
                      const std::function<QStringList(const QString&)>& messagesIn,
                      const std::function<void(const QDir&)>& inFolder = {}) {
    QTemporaryDir folder;
    const QString deckPath = folder.filePath(QStringLiteral("deck.wml"));
    QFile file(deckPath);
    if (!folder.isValid() || !file.open(QIODevice::WriteOnly) || file.write(deck) != deck.size())
        return {QStringLiteral("could not write the deck to a temporary file")};
    file.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XML_CATALOG_FILES"), catalog);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(folder.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments + QStringList{deckPath});
    // False as well when the tool could not be started.
    if (!process.waitForFinished(ToolTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return {program + QStringLiteral(" did not run to the end: ") + process.errorString()};
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return {program + QStringLiteral(" crashed")};
    QStringList problems =
        messagesIn(QString::fromUtf8(process.readAll()).replace(deckPath, QStringLiteral("deck")));
    if (problems.isEmpty() && process.exitCode() != 0)
        problems << program + QStringLiteral(" exited with %1").arg(process.exitCode());
    if (inFolder)
        inFolder(QDir(folder.path()));
    return problems;
}

QStringList XmllintProblems(const QByteArray& document, const QString& catalog) {
    return RunOnDeck(
        document, catalog, QStringLiteral("xmllint"),
        {QStringLiteral("--nonet"), QStringLiteral("--noout"), QStringLiteral("--valid")},
        [](const QString& output) { return output.split(QLatin1Char('\n'), Qt::SkipEmptyParts); });
}
} // namespace

QStringList DtdProblems(const QByteArray& deck) {
    return XmllintProblems(deck, WmlCatalog());
}

QStringList XhtmlProblems(const QByteArray& page) {
    return XmllintProblems(page, XhtmlCatalog);
}

QStringList GatewayProblems(const QByteArray& deck) {
    // The compiled deck goes to a file in the working folder, so that only the
    // tool's messages, "<date> <time> [pid] [thread] LEVEL: message", are left
    // in its output.
    return RunOnDeck(deck, WmlCatalog(), QStringLiteral("/usr/lib/kannel/test/wml_tester"),
                     {QStringLiteral("-f"), QStringLiteral("compiled.wmlc")},
                     [](const QString& output) {
                         static const QRegularExpression messageLine(
                             QStringLiteral("\\] ((?:ERROR|WARNING|PANIC): .*)$"),
                             QRegularExpression::MultilineOption);
                         QStringList messages;
                         for (auto match = messageLine.globalMatch(output); match.hasNext();)
                             messages << match.next().captured(1);
                         return messages;
                     });
}

qint64 CompiledSize(const QByteArray& deck) {
    qint64 size = -1;
    const QStringList problems = RunOnDeck(
        deck, WmlCatalog(), QStringLiteral("/usr/lib/kannel/test/wml_tester"),
        {QStringLiteral("-b"), QStringLiteral("-f"), QStringLiteral("compiled.wmlc")},
        [](const QString&) { return QStringList(); },
        [&size](const QDir& folder) {
            const QFileInfo compiled(folder.filePath(QStringLiteral("compiled.wmlc")));
            size = compiled.exists() ? compiled.size() : -1;
        });
    return problems.isEmpty() ? size : -1;
}

QStringList DeckProblems(const QByteArray& deck) {
    return DtdProblems(deck) + GatewayProblems(deck);
}

} // namespace WmlValidation
