#include "wml/CTable.h"

using namespace WmlWriter;

std::shared_ptr<CTableRow> CTable::AddRow(const QByteArray& sColumn1, const QByteArray& sColumn2,
                                          const QByteArray& sColumn3, const QByteArray& sColumn4,
                                          const QByteArray& sColumn5) {
    auto row = std::make_shared<CTableRow>();
    row->setNumberOfColumns(m_numberOfColumns);
    const QByteArray* columns[] = {&sColumn1, &sColumn2, &sColumn3, &sColumn4, &sColumn5};
    for (qint16 index = 1; index <= 5; ++index) {
        if (!columns[index - 1]->isEmpty())
            row->SetColumn(index, *columns[index - 1]);
    }
    m_rows.push_back(row);
    return row;
}

void CTable::AppendWML(QByteArray& out) const {
    out.append("<table");
    AppendNumberAttribute(out, "columns", m_numberOfColumns);
    out.append('>');
    AppendAll(out, m_rows);
    AppendEndTag(out, "table");
}
