#pragma once

#include <QByteArray>
#include <QStringList>
#include <QTest>

// Checks a rendered deck the way the phones' side sees it: against the WML
// 1.1 DTD with xmllint, and through the WML compiler of a real WAP gateway
// (Kannel's wml_tester); and a page for browsers against the XHTML Basic 1.1
// DTD. Each function returns one entry per problem found
// and an empty list for a clean deck, so a test reads
//     QCOMPARE(WmlValidation::DeckProblems(deck->GetWML()), QStringList());
// or, with every problem in the failure message,
//     QVERIFY_VALID_WML(deck->GetWML());
// A missing tool, a crash or a time-out is reported as a problem too, so a
// check never passes without having run.
namespace WmlValidation {

// Everything that DtdProblems and GatewayProblems find.
QStringList DeckProblems(const QByteArray& deck);

// xmllint --nonet --noout --valid, with the deck's DOCTYPE resolved to the
// repository's copy of the DTD (tests/support/wml-catalog.xml). Each entry is
// one line that xmllint prints: a message, or the context under it.
QStringList DtdProblems(const QByteArray& deck);

// The ERROR and WARNING lines of /usr/lib/kannel/test/wml_tester, without
// their time stamps, or its exit status when not 0 and it printed none. The
// tool exits 0 even on unknown tags and attributes, so its messages are what
// count.
QStringList GatewayProblems(const QByteArray& deck);

// xmllint --nonet --noout --valid, with the page's DOCTYPE resolved to
// w3c-sgml-lib's copies of the XHTML DTDs; one entry per line of output.
QStringList XhtmlProblems(const QByteArray& page);

// The bytes of the deck as the gateway's WML compiler compiles it for a
// phone (WBXML, wml_tester -b), or -1 when the tool failed.
qint64 CompiledSize(const QByteArray& deck);

} // namespace WmlValidation

// Fails the current test, listing every problem, unless the deck passes both
// checks.
#define QVERIFY_VALID_WML(deck)                                                                    \
    do {                                                                                           \
        const QStringList wmlProblems_ = WmlValidation::DeckProblems(deck);                        \
        QVERIFY2(wmlProblems_.isEmpty(), qPrintable(wmlProblems_.join(QLatin1Char('\n'))));        \
    } while (false)
