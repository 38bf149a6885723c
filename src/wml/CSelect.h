#pragma once

#include "wml/CImage.h"
#include "wml/COptionGroup.h"
#include "wml/WmlElement.h"
#include "wml/WmlOptionList.h"

// Which of its two lists a selection list writes: the most recent AddOption
// or AddOptionGroup decides.
enum WmlSelectContent : qint32 {
    SelectContentOptions = 0,
    SelectContentOptionGroups = 1,
};

// select: a selection list that writes either its options or its option
// groups, never both; the other list keeps its entries.
class CSelect : public WmlElement, private WmlOptionList {
public:
    QByteArray iName() const { return m_indexName; }
    void setIName(const QByteArray& siName) { m_indexName = siName; }
    qint16 iValue() const { return m_indexValue; }
    void setIValue(qint16 iiValue) { m_indexValue = iiValue; }
    QByteArray Value() const { return m_value; }
    void setValue(const QByteArray& sValue) { m_value = sValue; }
    QByteArray Name() const { return m_name; }
    void setName(const QByteArray& sName) { m_name = sName; }
    bool Multiple() const { return m_multiple; }
    void setMultiple(bool bMultiple) { m_multiple = bMultiple; }
    qint16 TabIndex() const { return m_tabIndex; }
    void setTabIndex(qint16 iTabIndex) { m_tabIndex = iTabIndex; }
    QByteArray Title() const { return m_title; }
    void setTitle(const QByteArray& sTitle) { m_title = sTitle; }

    // Appends an option and switches the list to writing its options.
    void AddOption(const QByteArray& sText, const QByteArray& sValue,
                   const QByteArray& sOnPick = {}, const QByteArray& sTitle = {},
                   bool bShowImageAfterTitle = false, std::shared_ptr<CImage> oImage = nullptr);
    // Appends a group and switches the list to writing its groups.
    std::shared_ptr<COptionGroup> AddOptionGroup(const QByteArray& sTitle);

    void AppendWML(QByteArray& out) const override;

private:
    void AppendAttributes(QByteArray& out) const;

    QByteArray m_indexName;
    qint16 m_indexValue = 0;
    QByteArray m_value;
    QByteArray m_name;
    bool m_multiple = false;
    qint16 m_tabIndex = 0;
    QByteArray m_title;
    qint32 m_content = SelectContentOptions;
    std::vector<std::shared_ptr<COptionGroup>> m_optionGroups;
};
