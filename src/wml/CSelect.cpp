#include "wml/CSelect.h"

using namespace WmlWriter;

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
    AppendAttributeIfSet(out, "iname", m_indexName);
    AppendAttributeIfSet(out, "name", m_name);
    AppendTextAttributeIfSet(out, "title", m_title);
    AppendAttributeIfSet(out, "value", m_value);
    AppendNumberAttributeIfPositive(out, "ivalue", m_indexValue);
    AppendNumberAttributeIfPositive(out, "tabindex", m_tabIndex);
    if (m_multiple)
        out.append(" multiple=\"true\"");
}
