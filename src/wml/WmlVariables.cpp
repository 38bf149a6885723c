#include "wml/WmlVariables.h"

#include "base/PocketlaneError.h"
#include "base/basUtilities.h"
#include "wml/ByteScan.h"

#include <QString>

#include <algorithm>

namespace WmlVariables {

namespace {
bool IsNameStart(char c) {
    return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsNameCharacter(char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9');
}

// The length of the reference that starts at text[at] (a "$"), 0 when the
// dollar starts none, and the variable's name.
qsizetype ReferenceAt(QByteArrayView text, qsizetype at, QByteArrayView* name) {
    const QByteArrayView rest = text.sliced(at + 1);
    if (rest.startsWith('(')) {
        const qsizetype close = ByteScan::IndexOf(rest, ')');
        if (close < 2)
            return 0;
        const QByteArrayView inner = rest.sliced(1, close - 1);
        const qsizetype colon = ByteScan::IndexOf(inner, ':');
        *name = colon < 0 ? inner : inner.first(colon);
        return close + 2;
    }
    qsizetype length = 0;
    while (length < rest.size() &&
           (length == 0 ? IsNameStart(rest.at(0)) : IsNameCharacter(rest.at(length))))
        ++length;
    *name = rest.first(length);
    return length == 0 ? 0 : length + 1;
}

// A query part decoded as a form sends it again (bytes that are no UTF-8
// become replacement characters); one that does not decode is kept as it is.
QByteArray Decoded(const QByteArray& part) {
    try {
        const QByteArray decoded = basUtilities::URLDecode(part);
        return decoded.isValidUtf8() ? decoded : QString::fromUtf8(decoded).toUtf8();
    } catch (const PocketlaneError&) {
        return part;
    }
}
} // namespace

QByteArray Resolve(QByteArrayView text) {
    QByteArray resolved;
    resolved.reserve(text.size());
    for (qsizetype at = 0; at < text.size(); ++at) {
        QByteArrayView name;
        if (text.at(at) != '$') {
            resolved += text.at(at);
        } else if (text.sliced(at + 1).startsWith('$')) {
            resolved += '$';
            ++at;
        } else if (const qsizetype length = ReferenceAt(text, at, &name); length > 0) {
            at += length - 1;
        } else {
            resolved += '$';
        }
    }
    return resolved;
}

bool HasReference(QByteArrayView text) {
    for (qsizetype at = ByteScan::IndexOf(text, '$'); at >= 0;
         at = ByteScan::IndexOf(text, '$', at + 1)) {
        QByteArrayView name;
        if (text.sliced(at + 1).startsWith('$'))
            ++at;
        else if (ReferenceAt(text, at, &name) > 0)
            return true;
    }
    return false;
}

QByteArrayView WholeReference(QByteArrayView text) {
    QByteArrayView name;
    if (text.startsWith('$') && ReferenceAt(text, 0, &name) == text.size())
        return name;
    return {};
}

FormTarget FormFor(QByteArrayView reference, std::span<const QByteArray> pageFields) {
    FormTarget form;
    const qsizetype fragment = ByteScan::IndexOf(reference, '#');
    const QByteArrayView withoutFragment = fragment < 0 ? reference : reference.first(fragment);
    const qsizetype queryStart = ByteScan::IndexOf(withoutFragment, '?');
    form.action = Resolve(queryStart < 0 ? withoutFragment : withoutFragment.first(queryStart));
    if (queryStart < 0)
        return form;
    QByteArrayView query = withoutFragment.sliced(queryStart + 1);
    while (!query.isEmpty()) {
        const qsizetype ampersand = ByteScan::IndexOf(query, '&');
        const QByteArrayView parameter = ampersand < 0 ? query : query.first(ampersand);
        query = ampersand < 0 ? QByteArrayView() : query.sliced(ampersand + 1);
        if (parameter.isEmpty())
            continue;
        const qsizetype equals = ByteScan::IndexOf(parameter, '=');
        const QByteArrayView name = equals < 0 ? parameter : parameter.first(equals);
        const QByteArrayView value = equals < 0 ? QByteArrayView() : parameter.sliced(equals + 1);
        const QByteArrayView field = WholeReference(value);
        if (!field.isEmpty() && field == name &&
            std::find(pageFields.begin(), pageFields.end(), field) != pageFields.end())
            ++form.fieldsRead;
        else
            form.hiddenFields.emplace_back(Decoded(Resolve(name)), Decoded(Resolve(value)));
    }
    return form;
}

} // namespace WmlVariables
