#pragma once

#include "wml/WmlElement.h"

// Which of its four tasks an anchor or a do element renders. Every other
// value, 0 included, renders no task.
enum WmlTaskType : qint32 {
    TaskRefresh = 1,
    TaskPrev = 4,
    TaskGo = 8,
    TaskNoop = 22,
};

// The softkey kind of a do element; every other value writes no type.
enum WmlDoType : qint32 {
    DoAccept = 0,
    DoPrev = 1,
    DoHelp = 2,
    DoReset = 3,
    DoOptions = 4,
    DoDelete = 5,
    DoUnknown = 6,
};

// GoMethodPut writes method="put"; every other value writes no method.
enum WmlGoMethod : qint32 {
    GoMethodGet = 0,
    GoMethodPut = 1,
};

// An element written as <tag name="{Name}" value="{Value}"/>, both
// attributes always present, XML-escaped with their dollars kept: the browser
// reads exactly the given text, variable references such as "$(P)" included.
class WmlNameValueElement : public WmlElement {
public:
    QByteArray Name() const { return m_sName; }
    void setName(const QByteArray& sName) { m_sName = sName; }
    QByteArray Value() const { return m_sValue; }
    void setValue(const QByteArray& sValue) { m_sValue = sValue; }

    void AppendWML(QByteArray& out) const override;

protected:
    WmlNameValueElement(QByteArrayView tag, const QByteArray& sName, const QByteArray& sValue);

private:
    QByteArrayView m_tag;
    QByteArray m_sName;
    QByteArray m_sValue;
};

// setvar: sets a browser variable when its task runs.
class CVariable : public WmlNameValueElement {
public:
    explicit CVariable(const QByteArray& sName = {}, const QByteArray& sValue = {});
};

// postfield: a name and value that a go task sends along.
class CPostfield : public WmlNameValueElement {
public:
    explicit CPostfield(const QByteArray& sName = {}, const QByteArray& sValue = {});
};

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

// go: moves to Reference. Postfields travel as query parameters of the href.
// Variables are written as setvar children, the way prev and refresh write
// theirs, so that no variable given to a go task is silently lost.
class CGo : public WmlVariableTask {
public:
    QByteArray Reference() const { return m_sReference; }
    void setReference(const QByteArray& sReference) { m_sReference = sReference; }
    qint32 GoMethod() const { return m_eGoMethod; }
    void setGoMethod(qint32 eGoMethod) { m_eGoMethod = eGoMethod; }
    bool SendReferer() const { return m_bSendReferer; }
    void setSendReferer(bool bSendReferer) { m_bSendReferer = bSendReferer; }

    void AddPostfield(const QByteArray& sName, const QByteArray& sValue);

    void AppendWML(QByteArray& out) const override;

private:
    void AppendReferenceWithPostfields(QByteArray& out) const;

    QByteArray m_sReference;
    qint32 m_eGoMethod = GoMethodGet;
    bool m_bSendReferer = false;
    std::vector<std::shared_ptr<CPostfield>> m_postfields;
};

// prev: goes back in the history.
class CPrev : public WmlVariableTask {
public:
    void AppendWML(QByteArray& out) const override;
};

// refresh: redisplays the card.
class CRefresh : public WmlVariableTask {
public:
    void AppendWML(QByteArray& out) const override;
};

// noop: does nothing.
class CNoop : public WmlElement {
public:
    void AppendWML(QByteArray& out) const override;
};

// timer: starts the card's timer, in tenths of a second.
class CTimer : public WmlElement {
public:
    qint16 Value() const { return m_iValue; }
    void setValue(qint16 iValue) { m_iValue = iValue; }

    void AppendWML(QByteArray& out) const override;

private:
    qint16 m_iValue = 0;
};

// onevent type="ontimer": runs its go task when the card's timer expires.
// The go task always exists: setting no object keeps the current one, so the
// element never renders without the task that it requires.
class COnEvent : public WmlElement {
public:
    std::shared_ptr<CGo> Go() const { return m_oGo; }
    void setGo(std::shared_ptr<CGo> oGo) { WmlWriter::ReplaceUnlessEmpty(m_oGo, std::move(oGo)); }

    void AppendWML(QByteArray& out) const override;

private:
    std::shared_ptr<CGo> m_oGo = std::make_shared<CGo>();
};

// Holds one task of each kind and renders the one that TaskType selects;
// the others keep whatever was set on them. The four tasks always exist:
// setting no object keeps the current task, so that the getters never hand
// back an empty object and a selected task is always written.
class WmlTaskHolder : public WmlElement {
public:
    qint32 TaskType() const { return m_oTaskType; }
    void setTaskType(qint32 oTaskType) { m_oTaskType = oTaskType; }

    std::shared_ptr<CGo> Go() const { return m_oGo; }
    void setGo(std::shared_ptr<CGo> oGo) { WmlWriter::ReplaceUnlessEmpty(m_oGo, std::move(oGo)); }
    std::shared_ptr<CPrev> Prev() const { return m_oPrev; }
    void setPrev(std::shared_ptr<CPrev> oPrev) {
        WmlWriter::ReplaceUnlessEmpty(m_oPrev, std::move(oPrev));
    }
    std::shared_ptr<CRefresh> Refresh() const { return m_oRefresh; }
    void setRefresh(std::shared_ptr<CRefresh> oRefresh) {
        WmlWriter::ReplaceUnlessEmpty(m_oRefresh, std::move(oRefresh));
    }
    std::shared_ptr<CNoop> Noop() const { return m_oNoop; }
    void setNoop(std::shared_ptr<CNoop> oNoop) {
        WmlWriter::ReplaceUnlessEmpty(m_oNoop, std::move(oNoop));
    }

protected:
    void AppendSelectedTask(QByteArray& out) const;

private:
    qint32 m_oTaskType = 0;
    std::shared_ptr<CGo> m_oGo = std::make_shared<CGo>();
    std::shared_ptr<CPrev> m_oPrev = std::make_shared<CPrev>();
    std::shared_ptr<CRefresh> m_oRefresh = std::make_shared<CRefresh>();
    std::shared_ptr<CNoop> m_oNoop = std::make_shared<CNoop>();
};

// do: a softkey with a label and a task. A new one is an accept softkey.
class CDo : public WmlTaskHolder {
public:
    QByteArray Name() const { return m_sName; }
    void setName(const QByteArray& sName) { m_sName = sName; }
    QByteArray Label() const { return m_sLabel; }
    void setLabel(const QByteArray& sLabel) { m_sLabel = sLabel; }
    qint32 DoType() const { return m_eType; }
    void setDoType(qint32 eType) { m_eType = eType; }

    void AppendWML(QByteArray& out) const override;

private:
    QByteArray m_sName;
    QByteArray m_sLabel;
    qint32 m_eType = DoAccept;
};
