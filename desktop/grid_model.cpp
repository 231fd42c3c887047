#include "desktop/grid_model.h"

namespace desktop {

namespace {

host::TClientDataSet* rowsOf(const host::TDBGrid& grid) {
    return grid.DataSource() != nullptr ? grid.DataSource()->DataSet : nullptr;
}

}  // namespace

GridModel::GridModel(host::TDBGrid& grid, QObject* parent)
    : QAbstractTableModel(parent), m_grid(grid) {}

int GridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_grid.RowCount();
}

int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_grid.ColumnCount();
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return QString::fromStdString(m_grid.CellText(index.row() + 1, index.column()));
    }
    if (role == Qt::TextAlignmentRole) {
        const host::TField* field = columnField(index.column());
        const bool numeric = field != nullptr && (field->DataType() == host::FieldType::Float ||
                                                  field->DataType() == host::FieldType::Integer);
        return QVariant::fromValue(Qt::AlignVCenter | (numeric ? Qt::AlignRight : Qt::AlignLeft));
    }
    return {};
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < m_grid.ColumnCount()) {
        return QString::fromStdString(m_grid.ColumnTitle(section));
    }
    if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}

void GridModel::refresh() {
    beginResetModel();
    endResetModel();
}

int GridModel::currentRow() const {
    const host::TClientDataSet* rows = rowsOf(m_grid);
    if (rows == nullptr || !rows->Active() || rows->IsEmpty()) {
        return -1;
    }
    return rows->RecNo() - 1;
}

const host::TField* GridModel::columnField(int column) const {
    const host::TClientDataSet* rows = rowsOf(m_grid);
    if (rows == nullptr || column < 0 || column >= m_grid.ColumnCount()) {
        return nullptr;
    }
    return rows->FindField(m_grid.ColumnAt(column).FieldName);
}

}  // namespace desktop
