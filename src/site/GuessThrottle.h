#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

class CPacket;
class StatusLog;

// Takes the guesses of secrets (a site or My Computer password, a link key)
// in turns. A guess is checked only when its turn comes, a right one like a
// wrong one, so the time of its answer tells nothing about it; a wrong one
// makes the next turn wait AnswerIntervalMs. Over all visitors together, no
// more than a few wrong guesses a second are answered, and a guess with no
// one waiting before it is taken at once. Visitors (told apart by their
// address) take turns in rotation, each with a few guesses waiting at most,
// so that a guesser holds up another visitor by a turn or so; a guess
// beyond that is told to try again without being checked. A guess whose
// visitor has gone is never checked and takes no turn. The event loop never
// waits.
class GuessThrottle : public QObject {
    Q_OBJECT
public:
    static constexpr int AnswerIntervalMs = 250;
    static constexpr size_t MaxWaiting = 64;
    static constexpr size_t MaxWaitingPerVisitor = 8;
    static constexpr char WeakPasswordWarning[] =
        "This password could be guessed within a day (Pocketlane answers about four "
        "guesses a second): make it longer, or mix capitals, small letters, digits and signs.";

    // Answers the guess on the packet; true when it was right.
    using Guess = std::function<bool(CPacket&)>;
    using Answer = std::function<void(CPacket&)>;

    // A guess whose check fails other than by its visitor's leaving counts
    // as wrong and is logged on `log`.
    explicit GuessThrottle(StatusLog& log, QObject* parent = nullptr);

    // Calls guess(packet) when the guess's turn comes (at once when it is
    // due now), or tryAgain(packet) at once when too many guesses wait.
    void TakeTurn(CPacket& packet, Guess guess, const Answer& tryAgain);

    // Wrong guesses answered in a day at most.
    static constexpr double GuessesPerDay = 24.0 * 3600 * 1000 / AnswerIntervalMs;
    // Whether a guesser trying every password of this length made of the
    // same kinds of characters (digits, small letters, capitals, other
    // signs) has even odds of finding it within a day.
    static bool FallsWithinADay(const QString& password);

private:
    struct Waiting {
        std::shared_ptr<CPacket> packet;
        Guess guess;
    };
    void takeTurns();
    Waiting takeNext();
    void check(CPacket& packet, const Guess& guess);
    void dropGone();
    void schedule();

    QHash<QByteArray, std::deque<Waiting>> m_waiting;
    // Visitors with guesses waiting, the next turn's first.
    std::deque<QByteArray> m_rotation;
    size_t m_waitingCount = 0;
    QElapsedTimer m_clock;
    qint64 m_nextTurn = 0;
    bool m_checking = false;
    StatusLog& m_log;
    QTimer m_turns;
};
