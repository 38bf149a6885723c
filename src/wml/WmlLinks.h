#pragma once

#include "wml/WmlElement.h"
#include "wml/WmlTasks.h"

// The align attribute of an image; every other value, 0 included, writes none.
enum WmlImageAlignment : qint32 {
    ImageAlignTop = 1,
    ImageAlignMiddle = 2,
    ImageAlignBottom = 3,
};

// img: src and alt are always written (both are required), unchanged.
class CImage : public WmlElement {
public:
    qint32 Alignment() const { return m_vAlignment; }
    void setAlignment(qint32 vAlignment) { m_vAlignment = vAlignment; }
    QByteArray Source() const { return m_sSource; }
    void setSource(const QByteArray& sSource) { m_sSource = sSource; }
    QByteArray AlternativeText() const { return m_sAlternativeText; }
    void setAlternativeText(const QByteArray& sAlternativeText) {
        m_sAlternativeText = sAlternativeText;
    }

    void AppendWML(QByteArray& out) const override;

private:
    qint32 m_vAlignment = 0;
    QByteArray m_sSource;
    QByteArray m_sAlternativeText;
};

// The image that a link or an option shows before or after its text. The
// image is the caller's object and renders with its state at render time.
// Once set it can be replaced but not removed: setting no object keeps it.
class WmlImageHolder {
public:
    std::shared_ptr<CImage> Image() const { return m_oImage; }
    void setImage(std::shared_ptr<CImage> oImage) {
        WmlWriter::ReplaceUnlessEmpty(m_oImage, std::move(oImage));
    }
    bool ShowImageAfterTitle() const { return m_bShowImageAfterTitle; }
    void setShowImageAfterTitle(bool bShowImageAfterTitle) {
        m_bShowImageAfterTitle = bShowImageAfterTitle;
    }

protected:
    ~WmlImageHolder() = default;
    void AppendImageBeforeTitle(QByteArray& out) const;
    void AppendImageAfterTitle(QByteArray& out) const;

private:
    std::shared_ptr<CImage> m_oImage;
    bool m_bShowImageAfterTitle = false;
};

// a: a simple link. The href is always written, unchanged; the title is
// XML-escaped with dollars doubled. A bold link is written inside b.
class CA : public WmlElement, public WmlImageHolder {
public:
    QByteArray Reference() const { return m_sReference; }
    void setReference(const QByteArray& sReference) { m_sReference = sReference; }
    QByteArray Title() const { return m_sTitle; }
    void setTitle(const QByteArray& sTitle) { m_sTitle = sTitle; }
    // Wraps the title in b. Set only: there is no getter.
    void setBold(bool bBold) { m_bBold = bBold; }

    void AppendWML(QByteArray& out) const override;

private:
    QByteArray m_sReference;
    QByteArray m_sTitle;
    bool m_bBold = false;
};

// anchor: a link that carries a task (see WmlTaskHolder). The title is
// escaped, and Reference is only stored: a go task writes its own. A noop
// task is not written (an anchor cannot hold one; without it the anchor does
// nothing all the same).
class CAnchor : public WmlTaskHolder, public WmlImageHolder {
public:
    QByteArray Reference() const { return m_sReference; }
    void setReference(const QByteArray& sReference) { m_sReference = sReference; }
    QByteArray Title() const { return m_sTitle; }
    void setTitle(const QByteArray& sTitle) { m_sTitle = sTitle; }

    void AppendWML(QByteArray& out) const override;

private:
    QByteArray m_sReference;
    QByteArray m_sTitle;
};
