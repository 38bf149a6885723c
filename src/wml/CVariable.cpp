#include "wml/CVariable.h"

using namespace WmlWriter;

CVariable::CVariable(const QByteArray& sName, const QByteArray& sValue)
    : WmlNameValueElement("setvar", sName, sValue) {}
