#pragma once

#include "wml/CGo.h"
#include "wml/WmlElement.h"

// onevent type="ontimer": runs its go task when the card's timer expires.
// The go task always exists: setting no object keeps the current one, so the
// element never renders without the task that it requires.
class COnEvent : public WmlElement {
public:
    std::shared_ptr<CGo> Go() const { return m_go; }
    void setGo(std::shared_ptr<CGo> oGo) { WmlWriter::ReplaceUnlessEmpty(m_go, std::move(oGo)); }

    void AppendWML(QByteArray& out) const override;

private:
    std::shared_ptr<CGo> m_go = std::make_shared<CGo>();
};
