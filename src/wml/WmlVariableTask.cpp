#include "wml/WmlVariableTask.h"

using namespace WmlWriter;

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
