#include "wml/WmlForms.h"

using namespace WmlWriter;

void CInput::AppendWML(QByteArray& out) const {
    out.append("<input");
    AppendAttributeIfSet(out, "name", m_sName);
    AppendAttributeIfSet(out, "format", m_sFormat);
    AppendTextAttributeIfSet(out, "title", m_sTitle);
    AppendAttributeIfSet(out, "value", m_sValue);
    AppendNumberAttributeIfPositive(out, "maxlength", m_iMaxLength);
    AppendNumberAttributeIfPositive(out, "size", m_iSize);
    AppendNumberAttributeIfPositive(out, "tabindex", m_iTabIndex);
    if (!m_bEmptyOK)
        out.append(" emptyok=\"false\"");
    if (m_eType == InputTypePassword)
        out.append(" type=\"password\"");
    out.append("/>");
}

void COption::AppendWML(QByteArray& out) const {
    out.append("<option");
    AppendAttributeIfSet(out, "onpick", m_sOnPick);
    AppendTextAttributeIfSet(out, "title", m_sTitle);
    AppendAttributeIfSet(out, "value", m_sValue);
    out.append('>');
    // An option holds text only: its image shows as its alternative text.
    const QByteArray imageText = Image() ? Image()->AlternativeText() : QByteArray();
    if (!ShowImageAfterTitle())
        AppendText(out, imageText);
    AppendText(out, m_sText);
    if (ShowImageAfterTitle())
        AppendText(out, imageText);
    AppendEndTag(out, "option");
}

void WmlOptionList::AddOption(const QByteArray& sText, const QByteArray& sValue,
                              const QByteArray& sOnPick, const QByteArray& sTitle,
                              bool bShowImageAfterTitle, std::shared_ptr<CImage> oImage) {
    auto option = std::make_shared<COption>();
    option->setText(sText);
    option->setValue(sValue);
    option->setOnPick(sOnPick);
    option->setShowImageAfterTitle(bShowImageAfterTitle);
    option->setTitle(sTitle);
    option->setImage(std::move(oImage));
    m_options.push_back(std::move(option));
}

void COptionGroup::AppendWML(QByteArray& out) const {
    out.append("<optgroup");
    AppendTextAttributeIfSet(out, "title", m_sTitle);
    out.append('>');
    AppendOptions(out);
    AppendEndTag(out, "optgroup");
}

void CSelect::AddOption(const QByteArray& sText, const QByteArray& sValue,
                        const QByteArray& sOnPick, const QByteArray& sTitle,
                        bool bShowImageAfterTitle, std::shared_ptr<CImage> oImage) {
    WmlOptionList::AddOption(sText, sValue, sOnPick, sTitle, bShowImageAfterTitle,
                             std::move(oImage));
    m_content = SelectContentOptions;
}

std::shared_ptr<COptionGroup> CSelect::AddOptionGroup(const QByteArray& sTitle) {
    auto group = std::make_shared<COptionGroup>();
    group->setTitle(sTitle);
    m_optionGroups.push_back(group);
    m_content = SelectContentOptionGroups;
    return group;
}

void CSelect::AppendWML(QByteArray& out) const {
    out.append("<select");
    AppendAttributes(out);
    out.append('>');
    if (m_content == SelectContentOptionGroups)
        AppendAll(out, m_optionGroups);
    else
        AppendOptions(out);
    AppendEndTag(out, "select");
}

void CSelect::AppendAttributes(QByteArray& out) const {
    AppendAttributeIfSet(out, "iname", m_siName);
    AppendAttributeIfSet(out, "name", m_sName);
    AppendTextAttributeIfSet(out, "title", m_sTitle);
    AppendAttributeIfSet(out, "value", m_sValue);
    AppendNumberAttributeIfPositive(out, "ivalue", m_iiValue);
    AppendNumberAttributeIfPositive(out, "tabindex", m_iTabIndex);
    if (m_bMultiple)
        out.append(" multiple=\"true\"");
}
