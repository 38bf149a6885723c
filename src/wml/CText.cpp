#include "wml/CText.h"

using namespace WmlWriter;

namespace {
struct FormattingTags {
    QByteArrayView outer;
    QByteArrayView inner;
};

FormattingTags TagsFor(qint32 eFormatting) {
    switch (eFormatting) {
    case FormatBold:
        return {"b", {}};
    case FormatBoldUnderlined:
        return {"b", "u"};
    case FormatBig:
        return {"big", {}};
    case FormatEmphasised:
        return {"em", {}};
    case FormatItalic:
        return {"i", {}};
    case FormatSmall:
        return {"small", {}};
    case FormatStrong:
        return {"strong", {}};
    case FormatUnderlined:
        return {"u", {}};
    default:
        return {};
    }
}

void AppendStartTagIfAny(QByteArray& out, QByteArrayView tag) {
    if (!tag.isNull())
        AppendStartTag(out, tag);
}

void AppendEndTagIfAny(QByteArray& out, QByteArrayView tag) {
    if (!tag.isNull())
        AppendEndTag(out, tag);
}
} // namespace

void CText::AppendWML(QByteArray& out) const {
    const FormattingTags tags = TagsFor(m_formatting);
    AppendStartTagIfAny(out, tags.outer);
    AppendStartTagIfAny(out, tags.inner);
    AppendText(out, m_text);
    AppendEndTagIfAny(out, tags.inner);
    AppendEndTagIfAny(out, tags.outer);
    if (m_lineBreak)
        AppendEmptyTag(out, "br");
}
