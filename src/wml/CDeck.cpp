#include "wml/CDeck.h"

using namespace WmlWriter;

namespace {
// The XML declaration carries no encoding: texts are UTF-8, which is XML's
// default, and the answer's Content-Type says so too. Gateways read only the
// header: without it they take a deck for ISO-8859-1 and encode it twice.
constexpr QByteArrayView DeckProlog = "<?xml version=\"1.0\"?>\n"
                                      "<!DOCTYPE wml PUBLIC \"-//WAPFORUM//DTD WML 1.1//EN\" "
                                      "\"http://www.wapforum.org/DTD/wml_1.1.xml\">\n";
} // namespace

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
    if (m_template || !m_doElements.empty()) {
        AppendStartTag(out, "template");
        if (m_template)
            m_template->AppendDoElements(out);
        AppendAll(out, m_doElements);
        AppendEndTag(out, "template");
    }
    AppendAll(out, m_cards);
    AppendEndTag(out, "wml");
}
