#include "wml/WmlTaskHolder.h"

using namespace WmlWriter;

void WmlTaskHolder::AppendSelectedTask(QByteArray& out) const {
    switch (m_taskType) {
    case TaskRefresh:
        m_refresh->AppendWML(out);
        break;
    case TaskPrev:
        m_prev->AppendWML(out);
        break;
    case TaskGo:
        m_go->AppendWML(out);
        break;
    case TaskNoop:
        m_noop->AppendWML(out);
        break;
    default:
        break;
    }
}
