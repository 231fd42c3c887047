#pragma once

#include <QDialog>
#include <optional>
#include <vector>

#include "host/ui/platform.h"

class QLineEdit;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;

namespace desktop {

// The pick-list window: the rows of the request's data set under its title,
// its visible fields as columns with their display labels; check boxes for a
// list, one row for a code. A search box above the rows, which has the
// keyboard first, narrows them to those whose code or any shown text holds
// what was typed; marks made on rows stay while the search changes.
class PickListDialog : public QDialog {
public:
    PickListDialog(const host::PickListRequest& request, QWidget* parent = nullptr);

    // Chosen rows (0-based) once accepted.
    std::vector<int> chosenRows() const;
    QTableView* table() const { return m_table; }
    QLineEdit* search() const { return m_search; }
    // Rows left by the search.
    int shownRows() const;
    // Marks or unmarks a row, as the operator's click does.
    void setRowChosen(int row, bool chosen);

    // Shows the window modally; nothing when the operator cancels.
    static std::optional<std::vector<int>> choose(const host::PickListRequest& request,
                                                  QWidget* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void searchChanged(const QString& text);
    QString codeOf(int row) const;

    bool m_multiple;
    QStandardItemModel* m_model;
    QSortFilterProxyModel* m_shown;
    QTableView* m_table;
    QLineEdit* m_search;
};

}  // namespace desktop
