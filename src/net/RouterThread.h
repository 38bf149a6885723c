#pragma once

#include "net/RouterSession.h"

#include <QObject>
#include <QThread>

// The one router session and the worker thread it lives on. Steps run there
// one after the other in the order asked; their facts come back to this
// object's thread in the same order, so the event loop never waits for a
// router.
class RouterThread : public QObject {
    Q_OBJECT
public:
    RouterThread(int discoveryMs, bool upnpSoftware, QObject* parent = nullptr);
    // A call in flight ends with the UPnP library's own time-outs.
    ~RouterThread() override;

    // Runs `step` with the router session on the worker thread after every
    // step asked before it, and then `apply` with its facts on this object's
    // thread, after the facts of those steps.
    template <typename Step, typename Apply> void Ask(Step step, Apply apply) {
        QMetaObject::invokeMethod(
            m_session,
            [this, session = m_session, step = std::move(step),
             apply = std::move(apply)]() mutable {
                RouterFacts facts = step(*session);
                QMetaObject::invokeMethod(
                    this, [apply = std::move(apply), facts]() mutable { apply(facts); },
                    Qt::QueuedConnection);
            },
            Qt::QueuedConnection);
    }

private:
    QThread m_thread;
    RouterSession* m_session;
};
