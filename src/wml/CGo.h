#pragma once

#include "wml/CPostfield.h"
#include "wml/WmlElement.h"
#include "wml/WmlVariableTask.h"

// GoMethodPut writes method="put"; every other value writes no method.
enum WmlGoMethod : qint32 {
    GoMethodGet = 0,
    GoMethodPut = 1,
};

// go: moves to Reference. Postfields travel as query parameters of the href.
// Variables are written as setvar children, the way prev and refresh write
// theirs, so that no variable given to a go task is silently lost.
class CGo : public WmlVariableTask {
public:
    QByteArray Reference() const { return m_reference; }
    void setReference(const QByteArray& sReference) { m_reference = sReference; }
    qint32 GoMethod() const { return m_goMethod; }
    void setGoMethod(qint32 eGoMethod) { m_goMethod = eGoMethod; }
    bool SendReferer() const { return m_sendReferer; }
    void setSendReferer(bool bSendReferer) { m_sendReferer = bSendReferer; }

    void AddPostfield(const QByteArray& sName, const QByteArray& sValue);

    void AppendWML(QByteArray& out) const override;

private:
    void AppendReferenceWithPostfields(QByteArray& out) const;

    QByteArray m_reference;
    qint32 m_goMethod = GoMethodGet;
    bool m_sendReferer = false;
    std::vector<std::shared_ptr<CPostfield>> m_postfields;
};
