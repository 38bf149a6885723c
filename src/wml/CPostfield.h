#pragma once

#include "wml/WmlElement.h"
#include "wml/WmlNameValueElement.h"

// postfield: a name and value that a go task sends along.
class CPostfield : public WmlNameValueElement {
public:
    explicit CPostfield(const QByteArray& sName = {}, const QByteArray& sValue = {});
};
