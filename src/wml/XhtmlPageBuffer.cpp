#include "wml/XhtmlPageBuffer.h"

#include <algorithm>

void XhtmlPageBuffer::replace(qsizetype at, qsizetype length, QByteArrayView text) {
    const qsizetype growth = text.size() - length;
    reserve(m_size + growth);
    std::memmove(m_data + at + text.size(), m_data + at + length, size_t(m_size - at - length));
    if (!text.isEmpty())
        std::memcpy(m_data + at, text.data(), size_t(text.size()));
    m_size += growth;
}

void XhtmlPageBuffer::insertCopy(qsizetype at, qsizetype from, qsizetype length) {
    reserve(m_size + length);
    std::memmove(m_data + at + length, m_data + at, size_t(m_size - at));
    std::memcpy(m_data + at, m_data + from + length, size_t(length));
    m_size += length;
}

QByteArray XhtmlPageBuffer::Take() {
    QByteArray text;
    if (m_data == m_inline) {
        text = QByteArray(m_inline, m_size);
    } else {
        m_storage.resize(m_size);
        text = std::move(m_storage);
        m_storage = QByteArray();
    }
    m_data = m_inline;
    m_size = 0;
    m_capacity = InlineCapacity;
    return text;
}

// The storage grows by half at least, so that appending stays linear.
void XhtmlPageBuffer::grow(qsizetype needed) {
    const qsizetype capacity = std::max(needed, m_capacity + m_capacity / 2);
    if (m_storage.isNull())
        m_storage = QByteArray(capacity, Qt::Uninitialized);
    else
        m_storage.resize(capacity);
    if (m_data == m_inline)
        std::memcpy(m_storage.data(), m_inline, size_t(m_size));
    m_data = m_storage.data();
    m_capacity = capacity;
}

void XhtmlPageBuffer::takeFrom(XhtmlPageBuffer& other) noexcept {
    m_size = other.m_size;
    if (other.m_data == other.m_inline) {
        std::memcpy(m_inline, other.m_inline, size_t(other.m_size));
        m_storage = QByteArray();
        m_data = m_inline;
        m_capacity = InlineCapacity;
    } else {
        m_storage = std::move(other.m_storage);
        other.m_storage = QByteArray();
        m_data = other.m_data;
        m_capacity = other.m_capacity;
    }
    other.m_data = other.m_inline;
    other.m_size = 0;
    other.m_capacity = InlineCapacity;
}
