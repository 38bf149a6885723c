#include "wml/CPrev.h"

using namespace WmlWriter;

void CPrev::AppendWML(QByteArray& out) const {
    out.append("<prev");
    AppendVariablesAndClose(out, "prev");
}
