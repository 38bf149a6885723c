#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <string>
#include <string_view>

// Texts of a WML deck, escaped as the deck holds them, written into an XHTML
// page: the escaping stays, WML's variables go (a browser has none), and
// the two entities that only WML declares become their characters.
namespace XhtmlText {

// The text of a page being written: appending is inline and cheap, which
// matters since a page is made of many short pieces.
class PageBuffer {
public:
    PageBuffer() = default;
    PageBuffer(QByteArrayView text) { append(text); }
    PageBuffer& operator+=(QByteArrayView text) { return append(text); }
    PageBuffer& operator+=(const PageBuffer& text) { return append(text.view()); }
    PageBuffer& operator+=(char c) {
        m_text.push_back(c);
        return *this;
    }
    PageBuffer& append(QByteArrayView text) {
        m_text.append(text.data(), size_t(text.size()));
        return *this;
    }
    PageBuffer& append(char c) { return *this += c; }
    qsizetype size() const { return qsizetype(m_text.size()); }
    bool isEmpty() const { return m_text.empty(); }
    void clear() { m_text.clear(); }
    void reserve(qsizetype size) { m_text.reserve(size_t(size)); }
    void truncate(qsizetype size) { m_text.resize(size_t(size)); }
    void insert(qsizetype at, QByteArrayView text) {
        m_text.insert(size_t(at), text.data(), size_t(text.size()));
    }
    void replace(qsizetype at, qsizetype length, QByteArrayView text) {
        m_text.replace(size_t(at), size_t(length), text.data(), size_t(text.size()));
    }
    QByteArrayView sliced(qsizetype from) const { return view().sliced(from); }
    QByteArrayView sliced(qsizetype from, qsizetype length) const {
        return view().sliced(from, length);
    }
    QByteArrayView view() const { return QByteArrayView(m_text.data(), size()); }
    QByteArray toByteArray() const { return QByteArray(m_text.data(), size()); }
    void swap(PageBuffer& other) { m_text.swap(other.m_text); }

private:
    std::string m_text;
};

// Appends the escaped text with every "$$" made "$", every variable
// reference ("$(name)", "$name", "$(name:conversion)") left out, and
// "&nbsp;" and "&shy;" written as the characters they stand for.
void AppendResolved(PageBuffer& out, QByteArrayView escaped);

// The text decoded (entities replaced by their characters), in UTF-8.
QByteArray Unescaped(QByteArrayView escaped);

// Whether the escaped text holds a variable reference.
bool HasReference(QByteArrayView escaped);

// Appends ` name="value"`, the value resolved.
void AppendResolvedAttribute(PageBuffer& out, QByteArrayView name, QByteArrayView escaped);
// Appends ` name="value"`, the value escaped here.
void AppendAttribute(PageBuffer& out, QByteArrayView name, const QByteArray& value);

// Appends `<tag>`, or `<tag class="className">` when a class is given.
void AppendStartTag(PageBuffer& out, QByteArrayView tag, QByteArrayView className);

// Whether the id is an XML name without a colon, as element ids must be.
bool IsXmlId(QByteArrayView id);

} // namespace XhtmlText
