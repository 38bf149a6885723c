#include "wml/CAnchor.h"

using namespace WmlWriter;

void CAnchor::AppendWML(QByteArray& out) const {
    AppendStartTag(out, "anchor");
    AppendImageBeforeTitle(out);
    AppendText(out, m_title);
    AppendImageAfterTitle(out);
    // An anchor may not hold noop; one without a task does nothing either.
    if (TaskType() != TaskNoop)
        AppendSelectedTask(out);
    AppendEndTag(out, "anchor");
}
