#include "wml/WmlDeck.h"

using namespace WmlWriter;

namespace {
// The XML declaration carries no encoding: texts are UTF-8, which is XML's
// default, and the answer's Content-Type says so too. Gateways read only the
// header: without it they take a deck for ISO-8859-1 and encode it twice.
constexpr QByteArrayView DeckProlog = "<?xml version=\"1.0\"?>\n"
                                      "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
                                      "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\n";
} // namespace

void CTemplate::AddDo(std::shared_ptr<CDo> oDo) {
    AppendChild(m_doElements, std::move(oDo));
}

void CTemplate::AddDoEvent(std::shared_ptr<CDo> oDoEvent) {
    AddDo(std::move(oDoEvent));
}

void CTemplate::AppendWML(QByteArray& out) const {
    AppendStartTag(out, "template");
    AppendDoElements(out);
    AppendEndTag(out, "template");
}

void CTemplate::AppendDoElements(QByteArray& out) const {
    AppendAll(out, m_doElements);
}

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
    AppendAttributeIfSet(out, "id", m_sID);
    AppendTextAttributeIfSet(out, "title", m_sTitle);
    out.append('>');
    AppendAll(out, m_children);
    AppendEndTag(out, "card");
}

void CDeck::AddCard(std::shared_ptr<CCard> oCard) {
    AppendChild(m_cards, std::move(oCard));
}

std::shared_ptr<CCard> CDeck::AddNewCard(const QByteArray& sTitle, const QByteArray& sID) {
    auto card = std::make_shared<CCard>();
    card->setTitle(sTitle);
    card->setID(sID);
    m_cards.push_back(card);
    return card;
}

std::shared_ptr<CDo> CDeck::AddNewDo(qint32 sType, const QByteArray& sLabel) {
    auto doElement = std::make_shared<CDo>();
    doElement->setDoType(sType);
    doElement->setLabel(sLabel);
    m_doElements.push_back(doElement);
    return doElement;
}

void CDeck::AppendWML(QByteArray& out) const {
    out.append(DeckProlog);
    AppendStartTag(out, "wml");
    if (m_oTemplate || !m_doElements.empty()) {
        AppendStartTag(out, "template");
        if (m_oTemplate)
            m_oTemplate->AppendDoElements(out);
        AppendAll(out, m_doElements);
        AppendEndTag(out, "template");
    }
    AppendAll(out, m_cards);
    AppendEndTag(out, "wml");
}
