#pragma once

#include "wml/CGo.h"
#include "wml/CNoop.h"
#include "wml/CPrev.h"
#include "wml/CRefresh.h"
#include "wml/WmlElement.h"

// Which of its four tasks an anchor or a do element renders. Every other
// value, 0 included, renders no task.
enum WmlTaskType : qint32 {
    TaskRefresh = 1,
    TaskPrev = 4,
    TaskGo = 8,
    TaskNoop = 22,
};

// Holds one task of each kind and renders the one that TaskType selects;
// the others keep whatever was set on them. The four tasks always exist:
// setting no object keeps the current task, so that the getters never hand
// back an empty object and a selected task is always written.
class WmlTaskHolder : public WmlElement {
public:
    qint32 TaskType() const { return m_taskType; }
    void setTaskType(qint32 oTaskType) { m_taskType = oTaskType; }

    std::shared_ptr<CGo> Go() const { return m_go; }
    void setGo(std::shared_ptr<CGo> oGo) { WmlWriter::ReplaceUnlessEmpty(m_go, std::move(oGo)); }
    std::shared_ptr<CPrev> Prev() const { return m_prev; }
    void setPrev(std::shared_ptr<CPrev> oPrev) {
        WmlWriter::ReplaceUnlessEmpty(m_prev, std::move(oPrev));
    }
    std::shared_ptr<CRefresh> Refresh() const { return m_refresh; }
    void setRefresh(std::shared_ptr<CRefresh> oRefresh) {
        WmlWriter::ReplaceUnlessEmpty(m_refresh, std::move(oRefresh));
    }
    std::shared_ptr<CNoop> Noop() const { return m_noop; }
    void setNoop(std::shared_ptr<CNoop> oNoop) {
        WmlWriter::ReplaceUnlessEmpty(m_noop, std::move(oNoop));
    }

protected:
    void AppendSelectedTask(QByteArray& out) const;

private:
    qint32 m_taskType = 0;
    std::shared_ptr<CGo> m_go = std::make_shared<CGo>();
    std::shared_ptr<CPrev> m_prev = std::make_shared<CPrev>();
    std::shared_ptr<CRefresh> m_refresh = std::make_shared<CRefresh>();
    std::shared_ptr<CNoop> m_noop = std::make_shared<CNoop>();
};
