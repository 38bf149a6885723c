#include "wml/CNoop.h"

using namespace WmlWriter;

void CNoop::AppendWML(QByteArray& out) const {
    AppendEmptyTag(out, "noop");
}
