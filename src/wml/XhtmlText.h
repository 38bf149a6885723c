#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstring>
#include <utility>

// Texts of a WML deck, escaped as the deck holds them, written into an XHTML
// page: the escaping stays, WML's variables go (a browser has none), and
// the two entities that only WML declares become their characters.
namespace XhtmlText {

// The text of a page being written: appending is inline and cheap, which
// matters since a page is made of many short pieces. A short text (a link's
// text, a title) stays inside the buffer without allocating, and a page's
// finished text is handed over as it stands, without a copy.
class PageBuffer {
public:
    PageBuffer() = default;
    PageBuffer(QByteArrayView text) { append(text); }
    PageBuffer(PageBuffer&& other) noexcept { takeFrom(other); }
    PageBuffer& operator=(PageBuffer&& other) noexcept {
        if (this != &other)
            takeFrom(other);
        return *this;
    }
    PageBuffer(const PageBuffer&) = delete;
    PageBuffer& operator=(const PageBuffer&) = delete;

    PageBuffer& operator+=(QByteArrayView text) { return append(text); }
    PageBuffer& operator+=(const PageBuffer& text) { return append(text.view()); }
    PageBuffer& operator+=(char c) {
        if (m_size == m_capacity)
            grow(m_size + 1);
        m_data[m_size++] = c;
        return *this;
    }
    PageBuffer& append(QByteArrayView text) {
        if (text.size() > m_capacity - m_size)
            grow(m_size + text.size());
        if (!text.isEmpty())
            std::memcpy(m_data + m_size, text.data(), size_t(text.size()));
        m_size += text.size();
        return *this;
    }
    PageBuffer& append(char c) { return *this += c; }
    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    void clear() { m_size = 0; }
    void reserve(qsizetype size) {
        if (size > m_capacity)
            grow(size);
    }
    void truncate(qsizetype size) { m_size = size; }
    void insert(qsizetype at, QByteArrayView text) { replace(at, 0, text); }
    // Replaces length characters from at on with the text, which must not
    // lie in this buffer.
    void replace(qsizetype at, qsizetype length, QByteArrayView text);
    // Inserts at at a copy of the length characters from from on, from >= at.
    void insertCopy(qsizetype at, qsizetype from, qsizetype length);
    QByteArrayView sliced(qsizetype from) const { return view().sliced(from); }
    QByteArrayView sliced(qsizetype from, qsizetype length) const {
        return view().sliced(from, length);
    }
    QByteArrayView view() const { return QByteArrayView(m_data, m_size); }
    // The text, after which the buffer is empty.
    QByteArray Take();
    void swap(PageBuffer& other) noexcept {
        PageBuffer taken(std::move(other));
        other = std::move(*this);
        *this = std::move(taken);
    }

private:
    static constexpr qsizetype InlineCapacity = 200;

    void grow(qsizetype needed);
    void takeFrom(PageBuffer& other) noexcept;

    // The text is the first m_size bytes at m_data: the inline room, or the
    // storage, whose size is then the capacity.
    char m_inline[InlineCapacity];
    QByteArray m_storage;
    char* m_data = m_inline;
    qsizetype m_size = 0;
    qsizetype m_capacity = InlineCapacity;
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
void AppendAttribute(PageBuffer& out, QByteArrayView name, QByteArrayView value);

// Appends `<tag>`, or `<tag class="className">` when a class is given.
void AppendStartTag(PageBuffer& out, QByteArrayView tag, QByteArrayView className);

// Whether the id is an XML name without a colon, as element ids must be.
bool IsXmlId(QByteArrayView id);

} // namespace XhtmlText
