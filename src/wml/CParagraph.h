#pragma once

#include "wml/CAnchor.h"
#include "wml/CGo.h"
#include "wml/CImage.h"
#include "wml/CPrev.h"
#include "wml/CRefresh.h"
#include "wml/CSelect.h"
#include "wml/CTable.h"
#include "wml/WmlElement.h"

// The align attribute of a paragraph; every other value, 0 included, writes none.
enum WmlParagraphAlignment : qint32 {
    ParagraphAlignLeft = 1,
    ParagraphAlignRight = 2,
    ParagraphAlignCenter = 3,
};

// The mode attribute of a paragraph; every other value, 0 included, writes none.
enum WmlParagraphMode : qint32 {
    ParagraphModeWrap = 1,
    ParagraphModeNoWrap = 2,
};

// p: the element through which pages write all their visible content. Every
// operation appends at the end, so the paragraph renders in call order.
class CParagraph : public WmlElement {
public:
    qint32 Alignment() const { return m_alignment; }
    void setAlignment(qint32 vAlignment) { m_alignment = vAlignment; }
    qint32 Mode() const { return m_mode; }
    void setMode(qint32 vMode) { m_mode = vMode; }

    void NormalText(const QByteArray& sText, bool bLineBreak = false);
    void BoldText(const QByteArray& sText, bool bLineBreak = false);
    void BoldUnderlinedText(const QByteArray& sText, bool bLineBreak = false);
    void BigText(const QByteArray& sText, bool bLineBreak = false);
    void EmphasisedText(const QByteArray& sText, bool bLineBreak = false);
    void ItalicText(const QByteArray& sText, bool bLineBreak = false);
    void SmallText(const QByteArray& sText, bool bLineBreak = false);
    void StrongText(const QByteArray& sText, bool bLineBreak = false);
    void UnderlinedText(const QByteArray& sText, bool bLineBreak = false);
    // Appends iCount line breaks; nothing when iCount is below 1.
    void AddLineBreak(qint16 iCount);

    void AddAnchor(const QByteArray& sTitle, const QByteArray& sReference,
                   std::shared_ptr<CImage> oImage = nullptr, bool bShowImageAfterTitle = false,
                   bool bBold = false);
    // The anchors with a task return the task inside the appended anchor.
    std::shared_ptr<CGo> AddGoAnchor(const QByteArray& sTitle, const QByteArray& sReference,
                                     std::shared_ptr<CImage> oImage = nullptr,
                                     bool bShowImageAfterTitle = false);
    std::shared_ptr<CPrev> AddPrevAnchor(const QByteArray& sTitle,
                                         const QByteArray& sReference = {},
                                         std::shared_ptr<CImage> oImage = nullptr,
                                         bool bShowImageAfterTitle = false);
    std::shared_ptr<CRefresh> AddRefreshAnchor(const QByteArray& sTitle,
                                               const QByteArray& sReference,
                                               std::shared_ptr<CImage> oImage = nullptr,
                                               bool bShowImageAfterTitle = false);
    void AddImage(const QByteArray& sSource, const QByteArray& sAlternativeText,
                  qint32 eAlignment = 0);

    void AddInput(const QByteArray& sName, qint16 iMaxLength = 0, const QByteArray& sFormat = {},
                  qint16 iSize = 0, bool bIsPasswordField = false, bool bCanBeEmpty = false);
    std::shared_ptr<CSelect> AddSelect(const QByteArray& sName = {}, qint16 iiValue = 0,
                                       const QByteArray& siName = {}, const QByteArray& sValue = {},
                                       const QByteArray& sTitle = {}, qint16 iTabIndex = 0,
                                       bool bCanSelectMultiple = false);
    std::shared_ptr<CTable> AddTable(qint16 iNumberOfColumns);

    void AppendWML(QByteArray& out) const override;
    // The children in the order added, and the markup of those from index
    // on: a paragraph's markup is its tags around its children's, one after
    // the other, so what a new child adds can be measured alone.
    qsizetype ChildCount() const { return qsizetype(m_children.size()); }
    void AppendChildrenWML(QByteArray& out, qsizetype from) const;

private:
    void AddText(qint32 eFormatting, const QByteArray& sText, bool bLineBreak);
    std::shared_ptr<CAnchor> AddTaskAnchor(qint32 eTaskType, const QByteArray& sTitle,
                                           const QByteArray& sReference,
                                           std::shared_ptr<CImage> oImage,
                                           bool bShowImageAfterTitle);

    qint32 m_alignment = 0;
    qint32 m_mode = 0;
    std::vector<std::shared_ptr<WmlElement>> m_children;
};
