#include "wml/CPostfield.h"

using namespace WmlWriter;

CPostfield::CPostfield(const QByteArray& sName, const QByteArray& sValue)
    : WmlNameValueElement("postfield", sName, sValue) {}
