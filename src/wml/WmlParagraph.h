#pragma once

#include "wml/WmlElement.h"
#include "wml/WmlForms.h"
#include "wml/WmlLinks.h"
#include "wml/WmlTasks.h"

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

// The tags around a text run; every other value writes the text without tags.
enum WmlTextFormatting : qint32 {
    FormatNormal = 0,
    FormatBold = 1,
    FormatBoldUnderlined = 2,
    FormatBig = 3,
    FormatEmphasised = 4,
    FormatItalic = 5,
    FormatSmall = 6,
    FormatStrong = 7,
    FormatUnderlined = 8,
};

// One run of text, XML-escaped with dollars doubled, inside its formatting
// tags (which an empty text still gets), optionally followed by a line break.
class CText : public WmlElement {
public:
    QByteArray Text() const { return m_sText; }
    void setText(const QByteArray& sText) { m_sText = sText; }
    bool LineBreak() const { return m_bLineBreak; }
    void setLineBreak(bool bLineBreak) { m_bLineBreak = bLineBreak; }
    qint32 Formatting() const { return m_eFormatting; }
    void setFormatting(qint32 eFormatting) { m_eFormatting = eFormatting; }

    void AppendWML(QByteArray& out) const override;

private:
    QByteArray m_sText;
    bool m_bLineBreak = false;
    qint32 m_eFormatting = FormatNormal;
};

// tr: a row with a fixed number of cells, numbered from 1, written unchanged.
class CTableRow : public WmlElement {
public:
    qint16 NumberOfColumns() const { return m_iNumberOfColumns; }
    // Replaces the cells by that many empty ones (none for a count below 1).
    void setNumberOfColumns(qint16 iNumberOfColumns);
    // Sets the text of cell iColumnIndex. The row has no cell outside 1 to
    // NumberOfColumns, so a text for such a cell is ignored.
    void SetColumn(qint16 iColumnIndex, const QByteArray& sData);

    void AppendWML(QByteArray& out) const override;

private:
    qint16 m_iNumberOfColumns = 0;
    std::vector<QByteArray> m_cells;
};

// table: rows keep the column count that the table had when they were added.
class CTable : public WmlElement {
public:
    qint16 NumberOfColumns() const { return m_iNumberOfColumns; }
    void setNumberOfColumns(qint16 iNumberOfColumns) { m_iNumberOfColumns = iNumberOfColumns; }

    // Appends a row with the table's current column count and the non-empty
    // texts in their cells; a text beyond the row's cells is ignored.
    std::shared_ptr<CTableRow> AddRow(const QByteArray& sColumn1 = {},
                                      const QByteArray& sColumn2 = {},
                                      const QByteArray& sColumn3 = {},
                                      const QByteArray& sColumn4 = {},
                                      const QByteArray& sColumn5 = {});

    void AppendWML(QByteArray& out) const override;

private:
    qint16 m_iNumberOfColumns = 0;
    std::vector<std::shared_ptr<CTableRow>> m_rows;
};

// p: the element through which pages write all their visible content. Every
// operation appends at the end, so the paragraph renders in call order.
class CParagraph : public WmlElement {
public:
    qint32 Alignment() const { return m_vAlignment; }
    void setAlignment(qint32 vAlignment) { m_vAlignment = vAlignment; }
    qint32 Mode() const { return m_vMode; }
    void setMode(qint32 vMode) { m_vMode = vMode; }

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

private:
    void AddText(qint32 eFormatting, const QByteArray& sText, bool bLineBreak);
    std::shared_ptr<CAnchor> AddTaskAnchor(qint32 eTaskType, const QByteArray& sTitle,
                                           const QByteArray& sReference,
                                           std::shared_ptr<CImage> oImage,
                                           bool bShowImageAfterTitle);

    qint32 m_vAlignment = 0;
    qint32 m_vMode = 0;
    std::vector<std::shared_ptr<WmlElement>> m_children;
};
