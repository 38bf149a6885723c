#pragma once

#include "wml/WmlElement.h"
#include "wml/WmlLinks.h"

// InputTypePassword writes type="password"; every other value writes no type.
enum WmlInputType : qint32 {
    InputTypeText = 0,
    InputTypePassword = 1,
};

// Which of its two lists a selection list writes: the most recent AddOption
// or AddOptionGroup decides.
enum WmlSelectContent : qint32 {
    SelectContentOptions = 0,
    SelectContentOptionGroups = 1,
};

// input: a text field. Texts are written unchanged and numbers only when
// above 0; a field whose empty entry is not allowed says so.
class CInput : public WmlElement {
public:
    QByteArray Name() const { return m_sName; }
    void setName(const QByteArray& sName) { m_sName = sName; }
    bool EmptyOK() const { return m_bEmptyOK; }
    void setEmptyOK(bool bEmptyOK) { m_bEmptyOK = bEmptyOK; }
    QByteArray Format() const { return m_sFormat; }
    void setFormat(const QByteArray& sFormat) { m_sFormat = sFormat; }
    qint16 MaxLength() const { return m_iMaxLength; }
    void setMaxLength(qint16 iMaxLength) { m_iMaxLength = iMaxLength; }
    qint16 Size() const { return m_iSize; }
    void setSize(qint16 iSize) { m_iSize = iSize; }
    qint16 TabIndex() const { return m_iTabIndex; }
    void setTabIndex(qint16 iTabIndex) { m_iTabIndex = iTabIndex; }
    QByteArray Title() const { return m_sTitle; }
    void setTitle(const QByteArray& sTitle) { m_sTitle = sTitle; }
    QByteArray Value() const { return m_sValue; }
    void setValue(const QByteArray& sValue) { m_sValue = sValue; }
    qint32 InputType() const { return m_eType; }
    void setInputType(qint32 eType) { m_eType = eType; }

    void AppendWML(QByteArray& out) const override;

private:
    QByteArray m_sName;
    bool m_bEmptyOK = false;
    QByteArray m_sFormat;
    qint16 m_iMaxLength = 0;
    qint16 m_iSize = 0;
    qint16 m_iTabIndex = 0;
    QByteArray m_sTitle;
    QByteArray m_sValue;
    qint32 m_eType = InputTypeText;
};

// option: one entry of a selection list; its text is escaped. An option holds
// text only, so its image is written as the image's alternative text.
class COption : public WmlElement, public WmlImageHolder {
public:
    QByteArray Text() const { return m_sText; }
    void setText(const QByteArray& sText) { m_sText = sText; }
    QByteArray OnPick() const { return m_sOnPick; }
    void setOnPick(const QByteArray& sOnPick) { m_sOnPick = sOnPick; }
    QByteArray Title() const { return m_sTitle; }
    void setTitle(const QByteArray& sTitle) { m_sTitle = sTitle; }
    QByteArray Value() const { return m_sValue; }
    void setValue(const QByteArray& sValue) { m_sValue = sValue; }

    void AppendWML(QByteArray& out) const override;

private:
    QByteArray m_sText;
    QByteArray m_sOnPick;
    QByteArray m_sTitle;
    QByteArray m_sValue;
};

// The options of a selection list or of an option group, with the one way of
// creating them that both share.
class WmlOptionList {
public:
    void AddOption(const QByteArray& sText, const QByteArray& sValue,
                   const QByteArray& sOnPick = {}, const QByteArray& sTitle = {},
                   bool bShowImageAfterTitle = false, std::shared_ptr<CImage> oImage = nullptr);

protected:
    ~WmlOptionList() = default;
    void AppendOptions(QByteArray& out) const { WmlWriter::AppendAll(out, m_options); }

private:
    std::vector<std::shared_ptr<COption>> m_options;
};

// optgroup: a titled group of options.
class COptionGroup : public WmlElement, public WmlOptionList {
public:
    QByteArray Title() const { return m_sTitle; }
    void setTitle(const QByteArray& sTitle) { m_sTitle = sTitle; }

    void AppendWML(QByteArray& out) const override;

private:
    QByteArray m_sTitle;
};

// select: a selection list that writes either its options or its option
// groups, never both; the other list keeps its entries.
class CSelect : public WmlElement, private WmlOptionList {
public:
    QByteArray iName() const { return m_siName; }
    void setIName(const QByteArray& siName) { m_siName = siName; }
    qint16 iValue() const { return m_iiValue; }
    void setIValue(qint16 iiValue) { m_iiValue = iiValue; }
    QByteArray Value() const { return m_sValue; }
    void setValue(const QByteArray& sValue) { m_sValue = sValue; }
    QByteArray Name() const { return m_sName; }
    void setName(const QByteArray& sName) { m_sName = sName; }
    bool Multiple() const { return m_bMultiple; }
    void setMultiple(bool bMultiple) { m_bMultiple = bMultiple; }
    qint16 TabIndex() const { return m_iTabIndex; }
    void setTabIndex(qint16 iTabIndex) { m_iTabIndex = iTabIndex; }
    QByteArray Title() const { return m_sTitle; }
    void setTitle(const QByteArray& sTitle) { m_sTitle = sTitle; }

    // Appends an option and switches the list to writing its options.
    void AddOption(const QByteArray& sText, const QByteArray& sValue,
                   const QByteArray& sOnPick = {}, const QByteArray& sTitle = {},
                   bool bShowImageAfterTitle = false, std::shared_ptr<CImage> oImage = nullptr);
    // Appends a group and switches the list to writing its groups.
    std::shared_ptr<COptionGroup> AddOptionGroup(const QByteArray& sTitle);

    void AppendWML(QByteArray& out) const override;

private:
    void AppendAttributes(QByteArray& out) const;

    QByteArray m_siName;
    qint16 m_iiValue = 0;
    QByteArray m_sValue;
    QByteArray m_sName;
    bool m_bMultiple = false;
    qint16 m_iTabIndex = 0;
    QByteArray m_sTitle;
    qint32 m_content = SelectContentOptions;
    std::vector<std::shared_ptr<COptionGroup>> m_optionGroups;
};
