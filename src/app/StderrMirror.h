#pragma once

#include "base/StatusLog.h"

#include <QByteArray>
#include <QObject>

// The status log's lines on stderr, one text line per entry, in the
// journal's form with its priority when stderr is the journal's stream.
// The lines of one pass of the event loop leave in one write, just before
// the loop waits again (or when many have gathered), so that a busy server
// does not pay a system call per line; every line still leaves, in order.
class StderrMirror : public QObject {
public:
    explicit StderrMirror(StatusLog& log);
    ~StderrMirror() override;

    // Writes the lines gathered so far (before the program writes to stderr
    // itself).
    void Flush();

private:
    void add(const StatusLog::Line& line);

    bool m_journal = false;
    QByteArray m_pending;
};
