#include "wml/WmlVariables.h"

#include "base/PocketlaneError.h"
#include "base/basUtilities.h"

namespace WmlVariables {

namespace {
bool IsNameStart(QChar c) {
    return c == u'_' || (c.unicode() < 0x80 && c.isLetter());
}

bool IsNameCharacter(QChar c) {
    return IsNameStart(c) || (c >= u'0' && c <= u'9');
}

// The length of the reference that starts at text[at] (a "$"), 0 when the
// dollar starts none, and the variable's name.
qsizetype ReferenceAt(QStringView text, qsizetype at, QStringView* name) {
    const QStringView rest = text.mid(at + 1);
    if (rest.startsWith(u'(')) {
        const qsizetype close = rest.indexOf(u')');
        if (close < 2)
            return 0;
        const QStringView inner = rest.mid(1, close - 1);
        *name = inner.left(inner.indexOf(u':'));
        return close + 2;
    }
    qsizetype length = 0;
    if (!rest.isEmpty() && IsNameStart(rest.front()))
        while (length < rest.size() && IsNameCharacter(rest.at(length)))
            ++length;
    *name = rest.left(length);
    return length == 0 ? 0 : length + 1;
}

// A query part decoded as a form sends it again; one that does not decode
// is kept as it is.
QString Decoded(const QString& part) {
    try {
        return QString::fromUtf8(basUtilities::URLDecode(part.toUtf8()));
    } catch (const PocketlaneError&) {
        return part;
    }
}
} // namespace

QString Resolve(QStringView text) {
    QString resolved;
    resolved.reserve(text.size());
    for (qsizetype at = 0; at < text.size(); ++at) {
        QStringView name;
        if (text.at(at) != u'$') {
            resolved += text.at(at);
        } else if (text.mid(at + 1).startsWith(u'$')) {
            resolved += u'$';
            ++at;
        } else if (const qsizetype length = ReferenceAt(text, at, &name); length > 0) {
            at += length - 1;
        } else {
            resolved += u'$';
        }
    }
    return resolved;
}

bool HasReference(QStringView text) {
    for (qsizetype at = text.indexOf(u'$'); at >= 0; at = text.indexOf(u'$', at + 1)) {
        QStringView name;
        if (text.mid(at + 1).startsWith(u'$'))
            ++at;
        else if (ReferenceAt(text, at, &name) > 0)
            return true;
    }
    return false;
}

QString WholeReference(QStringView text) {
    QStringView name;
    if (text.startsWith(u'$') && ReferenceAt(text, 0, &name) == text.size())
        return name.toString();
    return {};
}

FormTarget FormFor(QStringView reference, const QStringList& pageFields) {
    FormTarget form;
    const QStringView withoutFragment = reference.left(reference.indexOf(u'#'));
    const qsizetype queryStart = withoutFragment.indexOf(u'?');
    form.action = Resolve(withoutFragment.left(queryStart));
    if (queryStart < 0)
        return form;
    for (const QStringView parameter :
         withoutFragment.mid(queryStart + 1).split(u'&', Qt::SkipEmptyParts)) {
        const qsizetype equals = parameter.indexOf(u'=');
        const QStringView name = parameter.left(equals);
        const QStringView value = equals < 0 ? QStringView() : parameter.mid(equals + 1);
        const QString field = WholeReference(value);
        if (!field.isEmpty() && field == name && pageFields.contains(field))
            form.fields << field;
        else
            form.hiddenFields.emplace_back(Decoded(Resolve(name)), Decoded(Resolve(value)));
    }
    return form;
}

} // namespace WmlVariables
