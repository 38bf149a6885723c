#include "wml/CGo.h"

using namespace WmlWriter;

void CGo::AddPostfield(const QByteArray& sName, const QByteArray& sValue) {
    m_postfields.push_back(std::make_shared<CPostfield>(sName, sValue));
}

void CGo::AppendWML(QByteArray& out) const {
    out.append("<go href=\"");
    AppendReferenceWithPostfields(out);
    out.append('"');
    if (m_goMethod == GoMethodPut)
        out.append(" method=\"put\"");
    if (m_sendReferer)
        out.append(" sendreferer=\"true\"");
    AppendVariablesAndClose(out, "go");
}

void CGo::AppendReferenceWithPostfields(QByteArray& out) const {
    out.append(m_reference);
    // A reference that already has a query part takes the postfields as
    // further parameters: a second "?" would glue them to its last value.
    bool firstParameter = !m_reference.contains('?');
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
