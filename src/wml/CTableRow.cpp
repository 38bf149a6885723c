#include "wml/CTableRow.h"

using namespace WmlWriter;

void CTableRow::setNumberOfColumns(qint16 iNumberOfColumns) {
    m_numberOfColumns = iNumberOfColumns;
    m_cells.assign(std::max<qint16>(iNumberOfColumns, 0), QByteArray());
}

void CTableRow::SetColumn(qint16 iColumnIndex, const QByteArray& sData) {
    if (iColumnIndex >= 1 && iColumnIndex <= qsizetype(m_cells.size()))
        m_cells[iColumnIndex - 1] = sData;
}

void CTableRow::AppendWML(QByteArray& out) const {
    AppendStartTag(out, "tr");
    for (const QByteArray& cell : m_cells) {
        AppendStartTag(out, "td");
        out.append(cell);
        AppendEndTag(out, "td");
    }
    AppendEndTag(out, "tr");
}
