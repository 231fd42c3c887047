#pragma once

#include <QAbstractTableModel>

#include "host/ui/controls.h"

namespace desktop {

// Item model over a TDBGrid: rows are the records of its data set, columns
// the grid's columns, texts exactly as the grid shows them.
class GridModel : public QAbstractTableModel {
public:
    explicit GridModel(host::TDBGrid& grid, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The data set changed: rows, values or the current record.
    void refresh();
    // Row (0-based) of the data set's current record; -1 when there is none.
    int currentRow() const;
    // The data set's field shown in a column, or nullptr.
    const host::TField* columnField(int column) const;

private:
    host::TDBGrid& m_grid;
};

}  // namespace desktop
