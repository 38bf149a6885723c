#include "wml/WmlOptionList.h"

using namespace WmlWriter;

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
