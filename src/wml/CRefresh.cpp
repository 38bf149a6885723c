#include "wml/CRefresh.h"

using namespace WmlWriter;

void CRefresh::AppendWML(QByteArray& out) const {
    out.append("<refresh");
    AppendVariablesAndClose(out, "refresh");
}
