#pragma once

#include <QObject>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

class CPacket;

// Holds back the answers to failed guesses (a wrong site or My Computer
// password, a wrong link key) so that they leave no faster than one per
// AnswerIntervalMs over all visitors together: guessing a password or a key
// becomes too slow to succeed. The event loop never waits, and a right
// guess is never held up, so a visitor behind the same gateway as a guesser
// is not locked out.
class GuessThrottle : public QObject {
    Q_OBJECT
public:
    static constexpr int AnswerIntervalMs = 250;
    // Failed guesses waiting past this many are dropped unanswered (their
    // connection closes), so that a flood cannot hold memory.
    static constexpr size_t MaxWaiting = 256;

    explicit GuessThrottle(QObject* parent = nullptr);

    // Calls answer(packet) when the failed guess's turn comes.
    void AnswerLater(CPacket& packet, std::function<void(CPacket&)> answer);

private:
    void answerNext();

    struct Waiting {
        std::shared_ptr<CPacket> packet;
        std::function<void(CPacket&)> answer;
    };
    std::deque<Waiting> m_waiting;
    QTimer m_turns;
};
