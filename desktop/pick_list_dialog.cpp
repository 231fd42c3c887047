#include "desktop/pick_list_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "desktop/trace.h"

namespace desktop {

namespace {

constexpr int kCodeRole = Qt::UserRole + 1;
constexpr int kSearchRole = Qt::UserRole + 2;

}  // namespace

PickListDialog::PickListDialog(const host::PickListRequest& request, QWidget* parent)
    : QDialog(parent),
      m_multiple(request.multiple),
      m_model(new QStandardItemModel(this)),
      m_shown(new QSortFilterProxyModel(this)),
      m_table(new QTableView(this)),
      m_search(new QLineEdit(this)) {
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
        const std::string code = key != nullptr ? key->ValueAt(recNo).AsString() : std::string();
        // The code is searched too, even when no column shows it.
        QString searched = QString::fromStdString(code);
        for (const host::TField* field : columns) {
            auto* item = new QStandardItem(QString::fromStdString(field->DisplayTextAt(recNo)));
            item->setEditable(false);
            searched += QLatin1Char('\n') + item->text();
            line << item;
        }
        if (!line.isEmpty()) {
            line.front()->setData(QString::fromStdString(code), kCodeRole);
            line.front()->setData(searched, kSearchRole);
        }
        if (m_multiple && !line.isEmpty()) {
            line.front()->setCheckable(true);
            const bool preselected =
                std::find(request.preselected.begin(), request.preselected.end(), code) !=
                request.preselected.end();
            line.front()->setCheckState(preselected ? Qt::Checked : Qt::Unchecked);
        }
        m_model->appendRow(line);
    }

    m_shown->setSourceModel(m_model);
    m_shown->setFilterRole(kSearchRole);
    m_shown->setFilterKeyColumn(0);
    m_shown->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_table->setModel(m_shown);
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
                QStandardItem* first = m_model->item(m_shown->mapToSource(index).row(), 0);
                first->setCheckState(first->checkState() == Qt::Checked ? Qt::Unchecked
                                                                        : Qt::Checked);
            }
        });
    } else {
        connect(m_table, &QTableView::doubleClicked, this, &QDialog::accept);
    }

    m_search->setObjectName(QStringLiteral("search"));
    m_search->setPlaceholderText(QStringLiteral("Pesquisar"));
    m_search->setClearButtonEnabled(true);
    m_search->installEventFilter(this);
    m_table->installEventFilter(this);
    connect(m_search, &QLineEdit::textChanged, this, &PickListDialog::searchChanged);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_search);
    layout->addWidget(m_table);
    layout->addWidget(buttons);
    int width = 40;
    for (int column = 0; column < m_model->columnCount(); ++column) {
        width += m_table->columnWidth(column);
    }
    resize(std::clamp(width, 320, 720), 400);
    m_search->setFocus();
}

void PickListDialog::searchChanged(const QString& text) {
    m_shown->setFilterFixedString(text);
    if (!m_multiple && m_shown->rowCount() > 0 && !m_table->selectionModel()->hasSelection()) {
        m_table->selectRow(0);
    }
    Trace::write(QStringLiteral("picklist rows %1").arg(m_shown->rowCount()));
}

int PickListDialog::shownRows() const {
    return m_shown->rowCount();
}

QString PickListDialog::codeOf(int row) const {
    const QStandardItem* first = m_model->item(row, 0);
    return first != nullptr ? first->data(kCodeRole).toString() : QString();
}

bool PickListDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    auto* key = static_cast<QKeyEvent*>(event);
    if (watched == m_search) {
        // Down goes to the rows, to mark them or choose one.
        if ((key->key() == Qt::Key_Down || key->key() == Qt::Key_PageDown) &&
            m_shown->rowCount() > 0) {
            m_table->setFocus();
            const QModelIndex current = m_table->currentIndex();
            if (!current.isValid()) {
                m_table->setCurrentIndex(m_shown->index(0, 0));
            }
            if (!m_multiple) {
                m_table->selectRow(m_table->currentIndex().row());
            }
            return true;
        }
        return false;
    }
    if (watched == m_table) {
        // Typing in the rows goes on searching.
        const QString text = key->text();
        const bool typing =
            key->key() == Qt::Key_Backspace ||
            (!text.isEmpty() && text.at(0).isPrint() && text != QLatin1String(" ") &&
             (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) == 0);
        if (typing) {
            m_search->setFocus();
            QApplication::sendEvent(m_search, event);
            return true;
        }
        if (key->key() == Qt::Key_Space && m_multiple) {
            const QModelIndex current = m_table->currentIndex();
            if (current.isValid()) {
                QStandardItem* first = m_model->item(m_shown->mapToSource(current).row(), 0);
                first->setCheckState(first->checkState() == Qt::Checked ? Qt::Unchecked
                                                                        : Qt::Checked);
            }
            return true;
        }
    }
    return false;
}

void PickListDialog::setRowChosen(int row, bool chosen) {
    // `row` counts the rows of the list, whatever the search shows.
    if (m_multiple) {
        if (QStandardItem* first = m_model->item(row, 0)) {
            first->setCheckState(chosen ? Qt::Checked : Qt::Unchecked);
        }
    } else if (chosen) {
        m_table->selectRow(m_shown->mapFromSource(m_model->index(row, 0)).row());
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
        chosen.push_back(m_shown->mapToSource(selected.front()).row());
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
    const std::vector<int> chosen = dialog.chosenRows();
    QStringList codes;
    for (const int row : chosen) {
        codes << dialog.codeOf(row);
    }
    Trace::write(QStringLiteral("picklist chosen ") + codes.join(QLatin1Char(' ')));
    return chosen;
}

}  // namespace desktop
