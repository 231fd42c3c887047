#include "desktop/pick_list_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "desktop/trace.h"

namespace desktop {

PickListDialog::PickListDialog(const host::PickListRequest& request, QWidget* parent)
    : QDialog(parent),
      m_multiple(request.multiple),
      m_model(new QStandardItemModel(this)),
      m_table(new QTableView(this)) {
    setWindowTitle(QString::fromStdString(request.title));

    std::vector<const host::TField*> columns;
    host::TClientDataSet* rows = request.rows;
    const host::TField* key = nullptr;
    if (rows != nullptr) {
        for (const auto& field : rows->Fields()) {
            if (field->Visible) {
                columns.push_back(field.get());
            }
        }
        key = request.keyField.empty()
                  ? (rows->Fields().empty() ? nullptr : rows->Fields().front().get())
                  : rows->FindField(request.keyField);
    }
    QStringList titles;
    for (const host::TField* field : columns) {
        titles << QString::fromStdString(field->GetDisplayLabel());
    }
    m_model->setHorizontalHeaderLabels(titles);

    const int count = rows != nullptr && rows->Active() ? rows->RecordCount() : 0;
    for (int recNo = 1; recNo <= count; ++recNo) {
        QList<QStandardItem*> line;
        for (const host::TField* field : columns) {
            auto* item = new QStandardItem(QString::fromStdString(field->DisplayTextAt(recNo)));
            item->setEditable(false);
            line << item;
        }
        if (m_multiple && !line.isEmpty()) {
            line.front()->setCheckable(true);
            const std::string code =
                key != nullptr ? key->ValueAt(recNo).AsString() : std::string();
            const bool preselected =
                std::find(request.preselected.begin(), request.preselected.end(), code) !=
                request.preselected.end();
            line.front()->setCheckState(preselected ? Qt::Checked : Qt::Unchecked);
        }
        m_model->appendRow(line);
    }

    m_table->setModel(m_model);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(m_multiple ? QAbstractItemView::NoSelection
                                         : QAbstractItemView::SingleSelection);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->resizeColumnsToContents();
    if (!m_multiple && count > 0) {
        m_table->selectRow(0);
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Ok"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancelar"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    if (m_multiple) {
        // A click anywhere on a row marks it, not only on its box.
        connect(m_table, &QTableView::clicked, this, [this](const QModelIndex& index) {
            if (index.column() != 0) {
                QStandardItem* first = m_model->item(index.row(), 0);
                first->setCheckState(first->checkState() == Qt::Checked ? Qt::Unchecked
                                                                        : Qt::Checked);
            }
        });
    } else {
        connect(m_table, &QTableView::doubleClicked, this, &QDialog::accept);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_table);
    layout->addWidget(buttons);
    int width = 40;
    for (int column = 0; column < m_model->columnCount(); ++column) {
        width += m_table->columnWidth(column);
    }
    resize(std::clamp(width, 320, 720), 360);
}

void PickListDialog::setRowChosen(int row, bool chosen) {
    if (m_multiple) {
        if (QStandardItem* first = m_model->item(row, 0)) {
            first->setCheckState(chosen ? Qt::Checked : Qt::Unchecked);
        }
    } else if (chosen) {
        m_table->selectRow(row);
    }
}

std::vector<int> PickListDialog::chosenRows() const {
    std::vector<int> chosen;
    if (m_multiple) {
        for (int row = 0; row < m_model->rowCount(); ++row) {
            if (m_model->item(row, 0)->checkState() == Qt::Checked) {
                chosen.push_back(row);
            }
        }
        return chosen;
    }
    const QModelIndexList selected = m_table->selectionModel()->selectedRows();
    if (!selected.isEmpty()) {
        chosen.push_back(selected.front().row());
    }
    return chosen;
}

std::optional<std::vector<int>> PickListDialog::choose(const host::PickListRequest& request,
                                                       QWidget* parent) {
    PickListDialog dialog(request, parent);
    Trace::write(QStringLiteral("picklist shown %1 rows %2")
                     .arg(dialog.windowTitle())
                     .arg(dialog.m_model->rowCount()));
    const bool accepted = dialog.exec() == QDialog::Accepted;
    Trace::write(QStringLiteral("picklist closed ") +
                 (accepted ? QStringLiteral("accepted") : QStringLiteral("cancelled")));
    if (!accepted) {
        return std::nullopt;
    }
    return dialog.chosenRows();
}

}  // namespace desktop
