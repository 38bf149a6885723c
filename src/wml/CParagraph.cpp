#include "wml/CParagraph.h"
#include "wml/CA.h"
#include "wml/CInput.h"
#include "wml/CText.h"

using namespace WmlWriter;

namespace {
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

void CParagraph::AppendChildrenWML(QByteArray& out, qsizetype from) const {
    for (auto child = m_children.begin() + from; child != m_children.end(); ++child)
        (*child)->AppendWML(out);
}

void CParagraph::AppendWML(QByteArray& out) const {
    out.append("<p");
    AppendAttributeIfSet(out, "mode", ParagraphModeName(m_mode));
    AppendAttributeIfSet(out, "align", ParagraphAlignmentName(m_alignment));
    out.append('>');
    AppendAll(out, m_children);
    AppendEndTag(out, "p");
}
