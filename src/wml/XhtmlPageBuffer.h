#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstring>
#include <utility>

// The text of a page being written: appending is inline and cheap, which
// matters since a page is made of many short pieces. A short text (a link's
// text, a title) stays inside the buffer without allocating, and a page's
// finished text is handed over as it stands, without a copy.
class XhtmlPageBuffer {
public:
    XhtmlPageBuffer() = default;
    XhtmlPageBuffer(QByteArrayView text) { append(text); }
    XhtmlPageBuffer(XhtmlPageBuffer&& other) noexcept { takeFrom(other); }
    XhtmlPageBuffer& operator=(XhtmlPageBuffer&& other) noexcept {
        if (this != &other)
            takeFrom(other);
        return *this;
    }
    XhtmlPageBuffer(const XhtmlPageBuffer&) = delete;
    XhtmlPageBuffer& operator=(const XhtmlPageBuffer&) = delete;

    XhtmlPageBuffer& operator+=(QByteArrayView text) { return append(text); }
    XhtmlPageBuffer& operator+=(const XhtmlPageBuffer& text) { return append(text.view()); }
    XhtmlPageBuffer& operator+=(char c) {
        if (m_size == m_capacity)
            grow(m_size + 1);
        m_data[m_size++] = c;
        return *this;
    }
    XhtmlPageBuffer& append(QByteArrayView text) {
        if (text.size() > m_capacity - m_size)
            grow(m_size + text.size());
        if (!text.isEmpty())
            std::memcpy(m_data + m_size, text.data(), size_t(text.size()));
        m_size += text.size();
        return *this;
    }
    XhtmlPageBuffer& append(char c) { return *this += c; }
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
    void swap(XhtmlPageBuffer& other) noexcept {
        XhtmlPageBuffer taken(std::move(other));
        other = std::move(*this);
        *this = std::move(taken);
    }

private:
    static constexpr qsizetype InlineCapacity = 200;

    void grow(qsizetype needed);
    void takeFrom(XhtmlPageBuffer& other) noexcept;

    // The text is the first m_size bytes at m_data: the inline room, or the
    // storage, whose size is then the capacity.
    char m_inline[InlineCapacity];
    QByteArray m_storage;
    char* m_data = m_inline;
    qsizetype m_size = 0;
    qsizetype m_capacity = InlineCapacity;
};
