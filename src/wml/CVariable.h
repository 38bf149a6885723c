#pragma once

#include "wml/WmlElement.h"
#include "wml/WmlNameValueElement.h"

// setvar: sets a browser variable when its task runs.
class CVariable : public WmlNameValueElement {
public:
    explicit CVariable(const QByteArray& sName = {}, const QByteArray& sValue = {});
};
