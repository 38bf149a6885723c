#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <memory>
#include <vector>

// The one interface of every element of a WML deck. Elements are shared by
// std::shared_ptr: an operation that creates a child returns the very object
// that the parent holds, so what the caller changes afterwards shows in the
// output. Elements live as long as their parent or any caller holds them.
class WmlElement {
public:
    WmlElement(const WmlElement&) = delete;
    WmlElement& operator=(const WmlElement&) = delete;
    virtual ~WmlElement() = default;

    // Appends the element's markup to out. A parent renders its children by
    // handing them its own buffer, so a whole deck is written in one pass.
    virtual void AppendWML(QByteArray& out) const = 0;

    // The element's complete markup, built afresh from its current state.
    // It changes nothing, so it may be called at any point and again.
    QByteArray GetWML() const;

protected:
    WmlElement() = default;
};

// The small writing steps that all elements share. Nothing is ever written
// between elements: no spaces, no line breaks.
namespace WmlWriter {

// Appends value in decimal, with a minus sign when negative.
void AppendNumber(QByteArray& out, qint32 value);

// Texts that a phone shows (text runs, link and card titles, labels,
// alternative texts) are escaped by the element that writes them, always
// through AppendText or AppendTextAttribute: the five XML special characters
// become entities and "$" becomes "$$". The names and values of setvar and
// postfield are escaped with their dollars kept (AppendVariableAttribute).
// Other names, values and references are written as given (they may hold
// variable references such as "$(P)"); the site's link builder makes its
// references safe.

// Appends the text escaped.
void AppendText(QByteArray& out, const QByteArray& text);

// Appends ` name="text"` with the text escaped, only when it is not empty.
void AppendTextAttributeIfSet(QByteArray& out, QByteArrayView name, const QByteArray& text);

// Appends ` name="value"` with the value unchanged.
void AppendAttribute(QByteArray& out, QByteArrayView name, QByteArrayView value);

// Appends ` name="value"` with the five XML special characters escaped and
// every "$" kept, so that variable references in the value still work.
void AppendVariableAttribute(QByteArray& out, QByteArrayView name, const QByteArray& value);

// Appends ` name="value"` only when value is not empty.
void AppendAttributeIfSet(QByteArray& out, QByteArrayView name, QByteArrayView value);

// Appends ` name="value"` with the number in decimal.
void AppendNumberAttribute(QByteArray& out, QByteArrayView name, qint32 value);

// Appends ` name="value"` only when value is above 0.
void AppendNumberAttributeIfPositive(QByteArray& out, QByteArrayView name, qint32 value);

// Appends `<tag>`, `</tag>` or `<tag/>`.
void AppendStartTag(QByteArray& out, QByteArrayView tag);
void AppendEndTag(QByteArray& out, QByteArrayView tag);
void AppendEmptyTag(QByteArray& out, QByteArrayView tag);

template <class Element>
void AppendAll(QByteArray& out, const std::vector<std::shared_ptr<Element>>& elements) {
    for (const auto& element : elements)
        element->AppendWML(out);
}

// Lists of children only grow. An empty object is not added, so that every
// entry of a list can be rendered.
template <class Element, class Child>
void AppendChild(std::vector<std::shared_ptr<Element>>& children, std::shared_ptr<Child> child) {
    if (child)
        children.push_back(std::move(child));
}

// Stores replacement in slot unless it is empty: an object that the element
// renders is never taken away, only replaced.
template <class Element>
void ReplaceUnlessEmpty(std::shared_ptr<Element>& slot, std::shared_ptr<Element> replacement) {
    if (replacement)
        slot = std::move(replacement);
}

} // namespace WmlWriter
