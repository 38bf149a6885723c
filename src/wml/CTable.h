#pragma once

#include "wml/CTableRow.h"
#include "wml/WmlElement.h"

// table: rows keep the column count that the table had when they were added.
class CTable : public WmlElement {
public:
    qint16 NumberOfColumns() const { return m_numberOfColumns; }
    void setNumberOfColumns(qint16 iNumberOfColumns) { m_numberOfColumns = iNumberOfColumns; }

    // Appends a row with the table's current column count and the non-empty
    // texts in their cells; a text beyond the row's cells is ignored.
    std::shared_ptr<CTableRow> AddRow(const QByteArray& sColumn1 = {},
                                      const QByteArray& sColumn2 = {},
                                      const QByteArray& sColumn3 = {},
                                      const QByteArray& sColumn4 = {},
                                      const QByteArray& sColumn5 = {});

    void AppendWML(QByteArray& out) const override;

private:
    qint16 m_numberOfColumns = 0;
    std::vector<std::shared_ptr<CTableRow>> m_rows;
};
