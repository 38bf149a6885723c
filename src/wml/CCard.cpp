#include "wml/CCard.h"
#include "wml/COnEvent.h"
#include "wml/CTimer.h"

using namespace WmlWriter;

void CCard::Add(std::shared_ptr<WmlElement> oObject) {
    AppendChild(m_children, std::move(oObject));
}

std::shared_ptr<CParagraph> CCard::AddNewParagraph() {
    auto paragraph = std::make_shared<CParagraph>();
    m_children.push_back(paragraph);
    return paragraph;
}

std::shared_ptr<CGo> CCard::AddOnTimerGo(qint16 iTimeInTenthsOfASecond,
                                         const QByteArray& sReference) {
    auto event = std::make_shared<COnEvent>();
    auto timer = std::make_shared<CTimer>();
    event->Go()->setReference(sReference);
    timer->setValue(iTimeInTenthsOfASecond);
    m_children.push_back(event);
    m_children.push_back(std::move(timer));
    return event->Go();
}

void CCard::AppendWML(QByteArray& out) const {
    out.append("<card");
    AppendAttributeIfSet(out, "id", m_id);
    AppendTextAttributeIfSet(out, "title", m_title);
    out.append('>');
    AppendAll(out, m_children);
    AppendEndTag(out, "card");
}
