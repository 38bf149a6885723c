#include "site/GuessThrottle.h"

#include "base/PocketlaneError.h"
#include "base/StatusLog.h"
#include "http/CPacket.h"

#include <QScopedValueRollback>

#include <cctype>
#include <cmath>

GuessThrottle::GuessThrottle(StatusLog& log, QObject* parent)
    : QObject(parent)
    , m_log(log) {
    m_clock.start();
    m_turns.setSingleShot(true);
    connect(&m_turns, &QTimer::timeout, this, &GuessThrottle::takeTurns);
}

void GuessThrottle::TakeTurn(CPacket& packet, Guess guess, const Answer& tryAgain) {
    std::shared_ptr<CPacket> kept = packet.weak_from_this().lock();
    const bool due = m_rotation.empty() && !m_checking && m_clock.elapsed() >= m_nextTurn;
    if (due || !kept) {
        // A request the server does not own has no connection to wait on.
        check(packet, guess);
        schedule();
        return;
    }
    const QByteArray visitor = packet.ClientAddress();
    if (m_waitingCount >= MaxWaiting || m_waiting.value(visitor).size() >= MaxWaitingPerVisitor)
        dropGone();
    std::deque<Waiting>& queue = m_waiting[visitor];
    if (m_waitingCount >= MaxWaiting || queue.size() >= MaxWaitingPerVisitor) {
        if (queue.empty())
            m_waiting.remove(visitor);
        tryAgain(packet);
        return;
    }
    if (queue.empty())
        m_rotation.push_back(visitor);
    queue.push_back({std::move(kept), std::move(guess)});
    ++m_waitingCount;
    packet.Defer();
    schedule();
}

void GuessThrottle::takeTurns() {
    while (!m_rotation.empty() && m_clock.elapsed() >= m_nextTurn) {
        const Waiting next = takeNext();
        if (next.packet->IsConnected())
            check(*next.packet, next.guess);
    }
    schedule();
}

GuessThrottle::Waiting GuessThrottle::takeNext() {
    const QByteArray visitor = m_rotation.front();
    m_rotation.pop_front();
    const auto queue = m_waiting.find(visitor);
    Waiting next = std::move(queue->front());
    queue->pop_front();
    --m_waitingCount;
    if (queue->empty())
        m_waiting.erase(queue);
    else
        m_rotation.push_back(visitor);
    return next;
}

// A guess answered from within this one (a request that was waiting behind
// it on its connection) waits for a turn of its own.
void GuessThrottle::check(CPacket& packet, const Guess& guess) {
    const QScopedValueRollback<bool> checking(m_checking, true);
    bool right = false;
    try {
        right = guess(packet);
    } catch (const PocketlaneError&) {
        // The visitor has gone meanwhile.
    } catch (...) {
        m_log.LogStatus(LogError, QStringLiteral("HandleAction - ") + CurrentFailureText());
    }
    if (!right)
        m_nextTurn = m_clock.elapsed() + AnswerIntervalMs;
}

// Forgets the guesses of visitors who have gone, to make room.
void GuessThrottle::dropGone() {
    for (auto queue = m_waiting.begin(); queue != m_waiting.end();) {
        const size_t before = queue->size();
        std::erase_if(*queue, [](const Waiting& w) { return !w.packet->IsConnected(); });
        m_waitingCount -= before - queue->size();
        if (!queue->empty()) {
            ++queue;
            continue;
        }
        std::erase(m_rotation, queue.key());
        queue = m_waiting.erase(queue);
    }
}

void GuessThrottle::schedule() {
    if (m_rotation.empty() || m_checking)
        return;
    m_turns.start(int(std::max<qint64>(0, m_nextTurn - m_clock.elapsed())));
}

bool GuessThrottle::FallsWithinADay(const QString& password) {
    bool digits = false, small = false, capitals = false, signs = false, others = false;
    const QList<uint> characters = password.toUcs4();
    for (const uint c : characters) {
        digits |= c >= '0' && c <= '9';
        small |= c >= 'a' && c <= 'z';
        capitals |= c >= 'A' && c <= 'Z';
        signs |= c < 128 && !std::isalnum(int(c));
        others |= c >= 128;
    }
    // The printable signs of ASCII; any other character as one of a hundred.
    const int alphabet = 10 * digits + 26 * small + 26 * capitals + 33 * signs + 100 * others;
    const double passwords = std::pow(std::max(alphabet, 1), double(characters.size()));
    return passwords / 2 <= GuessesPerDay;
}
