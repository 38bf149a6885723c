#pragma once

#include <QString>

#include <exception>

// A failure raised to the caller: a number, a description and the source
// that raised it. Callers that pass a failure on may prefix the source with
// their own, so that the log shows the path the failure took.
class PocketlaneError : public std::exception {
public:
    PocketlaneError(int number, QString description, QString source)
        : m_number(number)
        , m_description(std::move(description))
        , m_source(std::move(source))
        , m_what(m_description.toUtf8()) {}

    int Number() const { return m_number; }
    const QString& Description() const { return m_description; }
    const QString& Source() const { return m_source; }
    const char* what() const noexcept override { return m_what.constData(); }

    // The same failure with `prefix` put before its source.
    PocketlaneError WithSourcePrefix(const QString& prefix) const {
        return PocketlaneError(m_number, m_description, prefix + m_source);
    }

private:
    int m_number;
    QString m_description;
    QString m_source;
    QByteArray m_what;
};

// What the exception being handled says: a PocketlaneError's description,
// another exception's text, or that it is unknown. Only for a catch block:
// the handlers of deferred answers (timers, queued calls) catch everything,
// since nothing above them would.
inline QString CurrentFailureText() {
    try {
        throw;
    } catch (const PocketlaneError& error) {
        return error.Description();
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    } catch (...) {
        return QStringLiteral("an unknown failure");
    }
}

// Failure numbers the server raises.
enum PocketlaneErrorNumber {
    ErrBadRequest = 400,    // a request text that cannot be parsed
    ErrBadEscape = 13,      // a percent escape without two hexadecimal digits
    ErrMissingKey = 5,      // a keyed collection read with a key it lacks
    ErrNotConnected = 40006 // an answer for a connection that is gone
};
