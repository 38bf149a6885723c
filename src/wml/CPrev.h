#pragma once

#include "wml/WmlElement.h"
#include "wml/WmlVariableTask.h"

// prev: goes back in the history.
class CPrev : public WmlVariableTask {
public:
    void AppendWML(QByteArray& out) const override;
};
