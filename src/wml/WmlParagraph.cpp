#include "wml/WmlParagraph.h"

using namespace WmlWriter;

namespace {
struct FormattingTags {
    QByteArrayView outer;
    QByteArrayView inner;
};

FormattingTags TagsFor(qint32 eFormatting) {
    switch (eFormatting) {
    case FormatBold:
        return {"b", {}};
    case FormatBoldUnderlined:
        return {"b", "u"};
    case FormatBig:
        return {"big", {}};
    case FormatEmphasised:
        return {"em", {}};
    case FormatItalic:
        return {"i", {}};
    case FormatSmall:
        return {"small", {}};
    case FormatStrong:
        return {"strong", {}};
    case FormatUnderlined:
        return {"u", {}};
    default:
        return {};
    }
}

void AppendStartTagIfAny(QByteArray& out, QByteArrayView tag) {
    if (!tag.isNull())
        AppendStartTag(out, tag);
}

void AppendEndTagIfAny(QByteArray& out, QByteArrayView tag) {
    if (!tag.isNull())
        AppendEndTag(out, tag);
}

QByteArrayView ParagraphModeName(qint32 vMode) {
    switch (vMode) {
    case ParagraphModeWrap:
        return "wrap";
    case ParagraphModeNoWrap:
        return "nowrap";
    default:
        return {};
    }
}

QByteArrayView ParagraphAlignmentName(qint32 vAlignment) {
    switch (vAlignment) {
    case ParagraphAlignLeft:
        return "left";
    case ParagraphAlignRight:
        return "right";
    case ParagraphAlignCenter:
        return "center";
    default:
        return {};
    }
}
} // namespace

void CText::AppendWML(QByteArray& out) const {
    const FormattingTags tags = TagsFor(m_eFormatting);
    AppendStartTagIfAny(out, tags.outer);
    AppendStartTagIfAny(out, tags.inner);
    AppendText(out, m_sText);
    AppendEndTagIfAny(out, tags.inner);
    AppendEndTagIfAny(out, tags.outer);
    if (m_bLineBreak)
        AppendEmptyTag(out, "br");
}

void CTableRow::setNumberOfColumns(qint16 iNumberOfColumns) {
    m_iNumberOfColumns = iNumberOfColumns;
    m_cells.assign(std::max<qint16>(iNumberOfColumns, 0), QByteArray());
}

void CTableRow::SetColumn(qint16 iColumnIndex, const QByteArray& sData) {
    if (iColumnIndex >= 1 && iColumnIndex <= qsizetype(m_cells.size()))
        m_cells[iColumnIndex - 1] = sData;
}

void CTableRow::AppendWML(QByteArray& out) const {
    AppendStartTag(out, "tr");
    for (const QByteArray& cell : m_cells) {
        AppendStartTag(out, "td");
        out.append(cell);
        AppendEndTag(out, "td");
    }
    AppendEndTag(out, "tr");
}

std::shared_ptr<CTableRow> CTable::AddRow(const QByteArray& sColumn1, const QByteArray& sColumn2,
                                          const QByteArray& sColumn3, const QByteArray& sColumn4,
                                          const QByteArray& sColumn5) {
    auto row = std::make_shared<CTableRow>();
    row->setNumberOfColumns(m_iNumberOfColumns);
    const QByteArray* columns[] = {&sColumn1, &sColumn2, &sColumn3, &sColumn4, &sColumn5};
    for (qint16 index = 1; index <= 5; ++index) {
        if (!columns[index - 1]->isEmpty())
            row->SetColumn(index, *columns[index - 1]);
    }
    m_rows.push_back(row);
    return row;
}

void CTable::AppendWML(QByteArray& out) const {
    out.append("<table");
    AppendNumberAttribute(out, "columns", m_iNumberOfColumns);
    out.append('>');
    AppendAll(out, m_rows);
    AppendEndTag(out, "table");
}

void CParagraph::AddText(qint32 eFormatting, const QByteArray& sText, bool bLineBreak) {
    auto text = std::make_shared<CText>();
    text->setFormatting(eFormatting);
    text->setText(sText);
    text->setLineBreak(bLineBreak);
    m_children.push_back(std::move(text));
}

void CParagraph::NormalText(const QByteArray& sText, bool bLineBreak) {
    AddText(FormatNormal, sText, bLineBreak);
}

void CParagraph::BoldText(const QByteArray& sText, bool bLineBreak) {
    AddText(FormatBold, sText, bLineBreak);
}

void CParagraph::BoldUnderlinedText(const QByteArray& sText, bool bLineBreak) {
    AddText(FormatBoldUnderlined, sText, bLineBreak);
}

void CParagraph::BigText(const QByteArray& sText, bool bLineBreak) {
    AddText(FormatBig, sText, bLineBreak);
}

void CParagraph::EmphasisedText(const QByteArray& sText, bool bLineBreak) {
    AddText(FormatEmphasised, sText, bLineBreak);
}

void CParagraph::ItalicText(const QByteArray& sText, bool bLineBreak) {
    AddText(FormatItalic, sText, bLineBreak);
}

void CParagraph::SmallText(const QByteArray& sText, bool bLineBreak) {
    AddText(FormatSmall, sText, bLineBreak);
}

void CParagraph::StrongText(const QByteArray& sText, bool bLineBreak) {
    AddText(FormatStrong, sText, bLineBreak);
}

void CParagraph::UnderlinedText(const QByteArray& sText, bool bLineBreak) {
    AddText(FormatUnderlined, sText, bLineBreak);
}

void CParagraph::AddLineBreak(qint16 iCount) {
    for (qint16 added = 0; added < iCount; ++added)
        AddText(FormatNormal, QByteArray(), true);
}

void CParagraph::AddAnchor(const QByteArray& sTitle, const QByteArray& sReference,
                           std::shared_ptr<CImage> oImage, bool bShowImageAfterTitle, bool bBold) {
    auto link = std::make_shared<CA>();
    link->setTitle(sTitle);
    link->setReference(sReference);
    link->setImage(std::move(oImage));
    link->setShowImageAfterTitle(bShowImageAfterTitle);
    link->setBold(bBold);
    m_children.push_back(std::move(link));
}

std::shared_ptr<CAnchor> CParagraph::AddTaskAnchor(qint32 eTaskType, const QByteArray& sTitle,
                                                   const QByteArray& sReference,
                                                   std::shared_ptr<CImage> oImage,
                                                   bool bShowImageAfterTitle) {
    auto anchor = std::make_shared<CAnchor>();
    anchor->setTitle(sTitle);
    anchor->setReference(sReference);
    anchor->setImage(std::move(oImage));
    anchor->setShowImageAfterTitle(bShowImageAfterTitle);
    anchor->setTaskType(eTaskType);
    m_children.push_back(anchor);
    return anchor;
}

std::shared_ptr<CGo> CParagraph::AddGoAnchor(const QByteArray& sTitle, const QByteArray& sReference,
                                             std::shared_ptr<CImage> oImage,
                                             bool bShowImageAfterTitle) {
    auto go =
        AddTaskAnchor(TaskGo, sTitle, sReference, std::move(oImage), bShowImageAfterTitle)->Go();
    go->setReference(sReference);
    return go;
}

std::shared_ptr<CPrev> CParagraph::AddPrevAnchor(const QByteArray& sTitle,
                                                 const QByteArray& sReference,
                                                 std::shared_ptr<CImage> oImage,
                                                 bool bShowImageAfterTitle) {
    return AddTaskAnchor(TaskPrev, sTitle, sReference, std::move(oImage), bShowImageAfterTitle)
        ->Prev();
}

std::shared_ptr<CRefresh> CParagraph::AddRefreshAnchor(const QByteArray& sTitle,
                                                       const QByteArray& sReference,
                                                       std::shared_ptr<CImage> oImage,
                                                       bool bShowImageAfterTitle) {
    return AddTaskAnchor(TaskRefresh, sTitle, sReference, std::move(oImage), bShowImageAfterTitle)
        ->Refresh();
}

void CParagraph::AddImage(const QByteArray& sSource, const QByteArray& sAlternativeText,
                          qint32 eAlignment) {
    auto image = std::make_shared<CImage>();
    image->setAlignment(eAlignment);
    image->setSource(sSource);
    image->setAlternativeText(sAlternativeText);
    m_children.push_back(std::move(image));
}

void CParagraph::AddInput(const QByteArray& sName, qint16 iMaxLength, const QByteArray& sFormat,
                          qint16 iSize, bool bIsPasswordField, bool bCanBeEmpty) {
    auto input = std::make_shared<CInput>();
    input->setName(sName);
    input->setMaxLength(iMaxLength);
    input->setFormat(sFormat);
    input->setSize(iSize);
    input->setEmptyOK(bCanBeEmpty);
    if (bIsPasswordField)
        input->setInputType(InputTypePassword);
    m_children.push_back(std::move(input));
}

std::shared_ptr<CSelect> CParagraph::AddSelect(const QByteArray& sName, qint16 iiValue,
                                               const QByteArray& siName, const QByteArray& sValue,
                                               const QByteArray& sTitle, qint16 iTabIndex,
                                               bool bCanSelectMultiple) {
    auto select = std::make_shared<CSelect>();
    select->setName(sName);
    select->setIValue(iiValue);
    select->setMultiple(bCanSelectMultiple);
    select->setIName(siName);
    select->setTabIndex(iTabIndex);
    select->setTitle(sTitle);
    select->setValue(sValue);
    m_children.push_back(select);
    return select;
}

std::shared_ptr<CTable> CParagraph::AddTable(qint16 iNumberOfColumns) {
    auto table = std::make_shared<CTable>();
    table->setNumberOfColumns(iNumberOfColumns);
    m_children.push_back(table);
    return table;
}

void CParagraph::AppendWML(QByteArray& out) const {
    out.append("<p");
    AppendAttributeIfSet(out, "mode", ParagraphModeName(m_vMode));
    AppendAttributeIfSet(out, "align", ParagraphAlignmentName(m_vAlignment));
    out.append('>');
    AppendAll(out, m_children);
    AppendEndTag(out, "p");
}
