#pragma once

#include "wml/CImage.h"
#include "wml/COption.h"
#include "wml/WmlElement.h"

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
