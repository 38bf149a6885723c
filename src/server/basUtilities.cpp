#include "server/basUtilities.h"

namespace basUtilities {

// One pass over the text gives the same result as replacing "&" first and
// the other characters after it, since no entity is escaped twice.
void AppendXmlEscaped(QByteArray& out, const QByteArray& text, bool bKeepDollars)
{
    out.reserve(out.size() + text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out.append("&amp;", 5);
            break;
        case '\'':
            out.append("&apos;", 6);
            break;
        case '>':
            out.append("&gt;", 4);
            break;
        case '<':
            out.append("&lt;", 4);
            break;
        case '"':
            out.append("&quot;", 6);
            break;
        case '$':
            out.append(bKeepDollars ? "$" : "$$", bKeepDollars ? 1 : 2);
            break;
        default:
            out.append(c);
        }
    }
}

QByteArray XmlEscape(const QByteArray& text, bool bKeepDollars)
{
    QByteArray out;
    AppendXmlEscaped(out, text, bKeepDollars);
    return out;
}

} // namespace basUtilities
