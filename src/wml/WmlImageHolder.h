#pragma once

#include "wml/CImage.h"
#include "wml/WmlElement.h"

// The image that a link or an option shows before or after its text. The
// image is the caller's object and renders with its state at render time.
// Once set it can be replaced but not removed: setting no object keeps it.
class WmlImageHolder {
public:
    std::shared_ptr<CImage> Image() const { return m_image; }
    void setImage(std::shared_ptr<CImage> oImage) {
        WmlWriter::ReplaceUnlessEmpty(m_image, std::move(oImage));
    }
    bool ShowImageAfterTitle() const { return m_showImageAfterTitle; }
    void setShowImageAfterTitle(bool bShowImageAfterTitle) {
        m_showImageAfterTitle = bShowImageAfterTitle;
    }

protected:
    ~WmlImageHolder() = default;
    void AppendImageBeforeTitle(QByteArray& out) const;
    void AppendImageAfterTitle(QByteArray& out) const;

private:
    std::shared_ptr<CImage> m_image;
    bool m_showImageAfterTitle = false;
};
