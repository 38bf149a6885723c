#pragma once

#include "wml/CVariable.h"
#include "wml/WmlElement.h"

// A task that carries setvar children: <tag .../> without variables,
// <tag ...>{setvar...}</tag> with them.
class WmlVariableTask : public WmlElement {
public:
    void AddVariable(const QByteArray& sName, const QByteArray& sValue);

protected:
    // Closes the start tag whose attributes the caller has written, then
    // writes the variables and the end tag.
    void AppendVariablesAndClose(QByteArray& out, QByteArrayView tag) const;

private:
    std::vector<std::shared_ptr<CVariable>> m_variables;
};
