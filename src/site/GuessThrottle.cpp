#include "site/GuessThrottle.h"

#include "base/PocketlaneError.h"
#include "http/CPacket.h"

GuessThrottle::GuessThrottle(QObject* parent)
    : QObject(parent) {
    m_turns.setInterval(AnswerIntervalMs);
    connect(&m_turns, &QTimer::timeout, this, &GuessThrottle::answerNext);
}

void GuessThrottle::AnswerLater(CPacket& packet, std::function<void(CPacket&)> answer) {
    std::shared_ptr<CPacket> kept = packet.weak_from_this().lock();
    if (!kept) {
        // A request the server does not own has no connection to wait on.
        answer(packet);
        return;
    }
    if (m_waiting.size() >= MaxWaiting)
        return;
    packet.Defer();
    m_waiting.push_back({std::move(kept), std::move(answer)});
    if (!m_turns.isActive())
        m_turns.start();
}

void GuessThrottle::answerNext() {
    if (m_waiting.empty()) {
        m_turns.stop();
        return;
    }
    const Waiting next = std::move(m_waiting.front());
    m_waiting.pop_front();
    try {
        next.answer(*next.packet);
    } catch (const PocketlaneError&) {
        // The visitor has gone meanwhile.
    }
}
