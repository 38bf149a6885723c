#include "wml/CTemplate.h"

using namespace WmlWriter;

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
