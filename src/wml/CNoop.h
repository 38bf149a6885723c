#pragma once

#include "wml/WmlElement.h"

// noop: does nothing.
class CNoop : public WmlElement {
public:
    void AppendWML(QByteArray& out) const override;
};
