#pragma once

#include "wml/WmlElement.h"
#include "wml/WmlVariableTask.h"

// refresh: redisplays the card.
class CRefresh : public WmlVariableTask {
public:
    void AppendWML(QByteArray& out) const override;
};
