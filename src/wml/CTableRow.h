#pragma once

#include "wml/WmlElement.h"

// tr: a row with a fixed number of cells, numbered from 1, written unchanged.
class CTableRow : public WmlElement {
public:
    qint16 NumberOfColumns() const { return m_numberOfColumns; }
    // Replaces the cells by that many empty ones (none for a count below 1).
    void setNumberOfColumns(qint16 iNumberOfColumns);
    // Sets the text of cell iColumnIndex. The row has no cell outside 1 to
    // NumberOfColumns, so a text for such a cell is ignored.
    void SetColumn(qint16 iColumnIndex, const QByteArray& sData);

    void AppendWML(QByteArray& out) const override;

private:
    qint16 m_numberOfColumns = 0;
    std::vector<QByteArray> m_cells;
};
