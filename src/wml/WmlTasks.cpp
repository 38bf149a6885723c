#include "wml/WmlTasks.h"

using namespace WmlWriter;

WmlNameValueElement::WmlNameValueElement(QByteArrayView tag, const QByteArray& sName,
                                         const QByteArray& sValue)
    : m_tag(tag)
    , m_sName(sName)
    , m_sValue(sValue) {}

void WmlNameValueElement::AppendWML(QByteArray& out) const {
    out.append('<');
    out.append(m_tag);
    AppendVariableAttribute(out, "name", m_sName);
    AppendVariableAttribute(out, "value", m_sValue);
    out.append("/>");
}

CVariable::CVariable(const QByteArray& sName, const QByteArray& sValue)
    : WmlNameValueElement("setvar", sName, sValue) {}

CPostfield::CPostfield(const QByteArray& sName, const QByteArray& sValue)
    : WmlNameValueElement("postfield", sName, sValue) {}

void WmlVariableTask::AddVariable(const QByteArray& sName, const QByteArray& sValue) {
    m_variables.push_back(std::make_shared<CVariable>(sName, sValue));
}

void WmlVariableTask::AppendVariablesAndClose(QByteArray& out, QByteArrayView tag) const {
    if (m_variables.empty()) {
        out.append("/>");
        return;
    }
    out.append('>');
    AppendAll(out, m_variables);
    AppendEndTag(out, tag);
}

void CGo::AddPostfield(const QByteArray& sName, const QByteArray& sValue) {
    m_postfields.push_back(std::make_shared<CPostfield>(sName, sValue));
}

void CGo::AppendWML(QByteArray& out) const {
    out.append("<go href=\"");
    AppendReferenceWithPostfields(out);
    out.append('"');
    if (m_eGoMethod == GoMethodPut)
        out.append(" method=\"put\"");
    if (m_bSendReferer)
        out.append(" sendreferer=\"true\"");
    AppendVariablesAndClose(out, "go");
}

void CGo::AppendReferenceWithPostfields(QByteArray& out) const {
    out.append(m_sReference);
    // A reference that already has a query part takes the postfields as
    // further parameters: a second "?" would glue them to its last value.
    bool firstParameter = !m_sReference.contains('?');
    for (const auto& postfield : m_postfields) {
        if (firstParameter)
            out.append('?');
        else
            out.append("&amp;");
        firstParameter = false;
        out.append(postfield->Name());
        out.append('=');
        out.append(postfield->Value());
    }
}

void CPrev::AppendWML(QByteArray& out) const {
    out.append("<prev");
    AppendVariablesAndClose(out, "prev");
}

void CRefresh::AppendWML(QByteArray& out) const {
    out.append("<refresh");
    AppendVariablesAndClose(out, "refresh");
}

void CNoop::AppendWML(QByteArray& out) const {
    AppendEmptyTag(out, "noop");
}

void CTimer::AppendWML(QByteArray& out) const {
    out.append("<timer");
    AppendNumberAttribute(out, "value", m_iValue);
    out.append("/>");
}

void COnEvent::AppendWML(QByteArray& out) const {
    out.append("<onevent type=\"ontimer\">");
    m_oGo->AppendWML(out);
    AppendEndTag(out, "onevent");
}

void WmlTaskHolder::AppendSelectedTask(QByteArray& out) const {
    switch (m_oTaskType) {
    case TaskRefresh:
        m_oRefresh->AppendWML(out);
        break;
    case TaskPrev:
        m_oPrev->AppendWML(out);
        break;
    case TaskGo:
        m_oGo->AppendWML(out);
        break;
    case TaskNoop:
        m_oNoop->AppendWML(out);
        break;
    default:
        break;
    }
}

namespace {
QByteArrayView DoTypeName(qint32 eType) {
    switch (eType) {
    case DoAccept:
        return "accept";
    case DoPrev:
        return "prev";
    case DoHelp:
        return "help";
    case DoReset:
        return "reset";
    case DoOptions:
        return "options";
    case DoDelete:
        return "delete";
    case DoUnknown:
        return "unknown";
    default:
        return {};
    }
}
} // namespace

void CDo::AppendWML(QByteArray& out) const {
    out.append("<do");
    AppendAttributeIfSet(out, "name", m_sName);
    AppendTextAttributeIfSet(out, "label", m_sLabel);
    AppendAttributeIfSet(out, "type", DoTypeName(m_eType));
    out.append('>');
    AppendSelectedTask(out);
    AppendEndTag(out, "do");
}
