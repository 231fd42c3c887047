#pragma once

#include <QDialog>
#include <optional>
#include <vector>

#include "host/ui/platform.h"

class QStandardItemModel;
class QTableView;

namespace desktop {

// The pick-list window: the rows of the request's data set under its title,
// its visible fields as columns with their display labels; check boxes for a
// list, one row for a code.
class PickListDialog : public QDialog {
public:
    PickListDialog(const host::PickListRequest& request, QWidget* parent = nullptr);

    // Chosen rows (0-based) once accepted.
    std::vector<int> chosenRows() const;
    QTableView* table() const { return m_table; }
    // Marks or unmarks a row, as the operator's click does.
    void setRowChosen(int row, bool chosen);

    // Shows the window modally; nothing when the operator cancels.
    static std::optional<std::vector<int>> choose(const host::PickListRequest& request,
                                                  QWidget* parent);

private:
    bool m_multiple;
    QStandardItemModel* m_model;
    QTableView* m_table;
};

}  // namespace desktop
