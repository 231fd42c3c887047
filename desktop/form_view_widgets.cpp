// The widget of each kind of control, and how each shows its model's state.
#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <algorithm>

#include "desktop/chart_view.h"
#include "desktop/form_view.h"
#include "desktop/grid_model.h"
#include "desktop/standard_icons.h"
#include "host/ui/chart.h"

namespace desktop {

namespace {

const char* const kNavigatorHints[] = {"Primeiro", "Anterior", "Próximo", "Último"};

QColor colorOf(host::TColor color) {
    switch (color) {
        case host::TColor::clWindow:
            return QColor(255, 255, 255);
        case host::TColor::clBtnFace:
            return QColor(240, 240, 240);
        case host::TColor::clInfoBk:
            return QColor(255, 255, 225);
        case host::TColor::clBlue:
            return QColor(0, 0, 255);
        case host::TColor::clDefault:
            break;
    }
    return {};
}

bool blankDate(const QString& text) {
    for (const QChar c : text) {
        if (c != QLatin1Char(' ') && c != QLatin1Char('/') && c != QLatin1Char('_')) {
            return false;
        }
    }
    return true;
}

// A line edit's text as the model holds it: a date edit with nothing typed
// is empty, whatever its mask shows.
QString modelTextOf(const QLineEdit& line, bool isDate) {
    if (isDate) {
        const QString shown = line.displayText();
        return blankDate(shown) ? QString() : shown;
    }
    return line.text();
}

// "!99.999;0;_" (the platform's edit mask) as a Qt input mask.
QString qtInputMask(const std::string& editMask) {
    const QString mask = QString::fromStdString(editMask);
    const QStringList sections = mask.split(QLatin1Char(';'));
    QString body = sections.value(0);
    body.remove(QLatin1Char('!'));
    const QString blank = sections.size() > 2 && !sections[2].isEmpty() ? sections[2] : " ";
    return body + QLatin1Char(';') + blank.at(0);
}

int defaultColumnWidth(const host::TField* field, const QString& title, const QFontMetrics& fm) {
    int characters = 10;
    if (field != nullptr) {
        if (field->DisplayWidth > 0) {
            characters = field->DisplayWidth;
        } else if (field->DataType() == host::FieldType::DateTime) {
            characters = 18;
        } else if (field->Size() > 0) {
            characters = field->Size();
        }
    }
    // Short fields are codes and numbers: as wide as that many digits.
    const int fromData = characters <= 12
                             ? fm.horizontalAdvance(QString(characters, QLatin1Char('0'))) + 12
                             : std::min(characters, 40) * fm.averageCharWidth() + 12;
    return std::max(fromData, fm.horizontalAdvance(title) + 14);
}

void applyColumnWidths(host::TDBGrid& grid, QTableView& view, const GridModel& model) {
    const QFontMetrics fm(view.font());
    for (int column = 0; column < grid.ColumnCount(); ++column) {
        const host::TColumn definition = grid.ColumnAt(column);
        const QString title = QString::fromStdString(grid.ColumnTitle(column));
        // The definition's width, unless the title would not fit in it.
        const int width = definition.Width > 0
                              ? std::max(definition.Width, fm.horizontalAdvance(title) + 12)
                              : defaultColumnWidth(model.columnField(column), title, fm);
        view.setColumnWidth(column, width);
    }
}

}  // namespace

QWidget* FormView::createPageControl(host::TPageControl& pages, QWidget* parentArea) {
    auto* tabs = new QTabWidget(parentArea);
    QObject::connect(tabs, &QTabWidget::currentChanged, this, [this, &pages](int) {
        // Only the model brings a page forward; anything else is undone.
        if (m_updating == 0 && live()) {
            applyActivePage(pages);
        }
    });
    return tabs;
}

QWidget* FormView::createWidget(host::TControl* control, QWidget* parentArea, Binding& binding) {
    if (auto* pages = dynamic_cast<host::TPageControl*>(control)) {
        return createPageControl(*pages, parentArea);
    }
    if (dynamic_cast<host::TGroupBox*>(control) != nullptr) {
        auto* box = new QGroupBox(parentArea);
        binding.area = box;
        return box;
    }
    if (auto* navigator = dynamic_cast<host::TDBNavigator*>(control)) {
        auto* bar = new QFrame(parentArea);
        auto* layout = new QHBoxLayout(bar);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(1);
        for (int i = 0; i < 4; ++i) {
            auto* button = new QToolButton(bar);
            const QString hint =
                static_cast<int>(navigator->Hints.size()) > i &&
                        !navigator->Hints[static_cast<std::size_t>(i)].empty()
                    ? QString::fromStdString(navigator->Hints[static_cast<std::size_t>(i)])
                    : QString::fromUtf8(kNavigatorHints[i]);
            button->setToolTip(hint);
            button->setIcon(
                iconForCommand(QString::fromUtf8(kNavigatorHints[i]), *button->style()));
            button->setAutoRaise(true);
            layout->addWidget(button);
            QObject::connect(button, &QToolButton::clicked, this, [this, navigator, i] {
                if (!live()) {
                    return;
                }
                host::Application().Dispatch([navigator, i] {
                    host::TClientDataSet* rows =
                        navigator->DataSource != nullptr ? navigator->DataSource->DataSet : nullptr;
                    if (rows == nullptr || !rows->Active()) {
                        return;
                    }
                    switch (i) {
                        case 0:
                            rows->First();
                            break;
                        case 1:
                            rows->Prior();
                            break;
                        case 2:
                            rows->Next();
                            break;
                        default:
                            rows->Last();
                            break;
                    }
                });
                if (m_attached) {
                    refreshNavigators();
                }
            });
        }
        layout->addStretch(1);
        return bar;
    }
    if (auto* grid = dynamic_cast<host::TDBGrid*>(control)) {
        auto* view = new QTableView(parentArea);
        auto* model = new GridModel(*grid, view);
        binding.gridModel = model;
        view->setModel(model);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setSelectionMode(QAbstractItemView::SingleSelection);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setTabKeyNavigation(false);
        view->verticalHeader()->hide();
        view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 6);
        view->horizontalHeader()->setHighlightSections(false);
        view->horizontalHeader()->setSectionsMovable(false);
        view->setWordWrap(false);
        QPalette palette = view->palette();
        // The current row stays marked while another control has the focus.
        palette.setColor(QPalette::Inactive, QPalette::Highlight,
                         palette.color(QPalette::Active, QPalette::Highlight));
        palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                         palette.color(QPalette::Active, QPalette::HighlightedText));
        view->setPalette(palette);
        applyColumnWidths(*grid, *view, *model);
        QObject::connect(
            view->horizontalHeader(), &QHeaderView::sectionClicked, this, [this, grid](int column) {
                if (live()) {
                    host::Application().Dispatch([grid, column] { grid->ClickTitle(column); });
                }
            });
        return view;
    }
    if (auto* chart = dynamic_cast<host::TChart*>(control)) {
        return createChartView(*chart, parentArea);
    }
    if (dynamic_cast<host::TDBEdit*>(control) != nullptr) {
        auto* line = new QLineEdit(parentArea);
        line->setReadOnly(true);
        return line;
    }
    if (dynamic_cast<host::TDBText*>(control) != nullptr) {
        return new QLabel(parentArea);
    }
    if (auto* memo = dynamic_cast<host::TMemo*>(control)) {
        auto* text = new QPlainTextEdit(parentArea);
        text->setTabChangesFocus(false);
        QObject::connect(text, &QPlainTextEdit::textChanged, this, [this, memo, text] {
            if (m_updating != 0 || !live()) {
                return;
            }
            m_form.UserType(memo, text->toPlainText().toStdString());
            if (Binding* own = bindingOf(memo); own != nullptr && m_attached) {
                ++m_updating;
                applyText(*own);
                --m_updating;
            }
        });
        return text;
    }
    if (auto* edit = dynamic_cast<host::TCustomEdit*>(control)) {
        auto* line = new QLineEdit(parentArea);
        const bool isDate = dynamic_cast<host::TDateEditPlus*>(control) != nullptr;
        if (isDate) {
            // The mask comes with the focus or a date (see applyDateMask).
        } else if (auto* masked = dynamic_cast<host::TMaskEdit*>(control);
                   masked != nullptr && !masked->EditMask.empty()) {
            line->setInputMask(qtInputMask(masked->EditMask));
        }
        if (edit->MaxLength > 0 && !isDate) {
            line->setMaxLength(edit->MaxLength);
        }
        QObject::connect(line, &QLineEdit::textEdited, this, [this, edit, line, isDate] {
            if (m_updating != 0 || !live()) {
                return;
            }
            m_form.UserType(edit, modelTextOf(*line, isDate).toStdString());
            if (Binding* own = bindingOf(edit); own != nullptr && m_attached) {
                ++m_updating;
                applyText(*own);
                --m_updating;
            }
        });
        return line;
    }
    if (dynamic_cast<host::TCheckBox*>(control) != nullptr ||
        dynamic_cast<host::TRadioButton*>(control) != nullptr) {
        QAbstractButton* button = nullptr;
        if (dynamic_cast<host::TCheckBox*>(control) != nullptr) {
            button = new QCheckBox(parentArea);
        } else {
            auto* radio = new QRadioButton(parentArea);
            // The model keeps one button of a group selected; Qt must not.
            radio->setAutoExclusive(false);
            button = radio;
        }
        QObject::connect(button, &QAbstractButton::clicked, this, [this, control] {
            if (!live()) {
                return;
            }
            m_form.UserClick(control);
            if (Binding* own = bindingOf(control); own != nullptr && m_attached) {
                ++m_updating;
                applyChecked(*own);
                --m_updating;
            }
        });
        return button;
    }
    if (dynamic_cast<host::TButton*>(control) != nullptr) {
        auto* button = new QPushButton(parentArea);
        button->setAutoDefault(false);
        QObject::connect(button, &QPushButton::clicked, this, [this, control] {
            if (live()) {
                m_form.UserClick(control);
            }
        });
        return button;
    }
    if (auto* speed = dynamic_cast<host::TSpeedButton*>(control)) {
        auto* button = new QToolButton(parentArea);
        button->setAutoRaise(speed->Flat);
        QObject::connect(button, &QToolButton::clicked, this, [this, control] {
            if (live()) {
                m_form.UserClick(control);
            }
        });
        return button;
    }
    if (dynamic_cast<host::TLabel*>(control) != nullptr) {
        auto* label = new QLabel(parentArea);
        label->setTextFormat(Qt::PlainText);
        return label;
    }
    if (dynamic_cast<host::TWinControl*>(control) != nullptr) {
        auto* frame = new QFrame(parentArea);
        if (dynamic_cast<host::TPanel*>(control) != nullptr &&
            control->Align != host::TAlign::alClient) {
            frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
        }
        binding.area = frame;
        return frame;
    }
    return new QWidget(parentArea);
}

void FormView::applyText(Binding& binding) {
    host::TControl* control = binding.control;
    QWidget* widget = binding.widget;
    if (auto* chart = dynamic_cast<host::TChart*>(control)) {
        refreshChartView(widget, *chart);
        return;
    }
    if (auto* dbText = dynamic_cast<host::TDBText*>(control)) {
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            label->setText(QString::fromStdString(dbText->Text()));
        }
        return;
    }
    if (auto* dbEdit = dynamic_cast<host::TDBEdit*>(control)) {
        if (auto* line = qobject_cast<QLineEdit*>(widget)) {
            line->setText(QString::fromStdString(dbEdit->Text()));
            line->setCursorPosition(0);
        }
        return;
    }
    if (auto* edit = dynamic_cast<host::TCustomEdit*>(control)) {
        const QString text = QString::fromStdString(edit->Text());
        if (auto* line = qobject_cast<QLineEdit*>(widget)) {
            const bool isDate = dynamic_cast<host::TDateEditPlus*>(control) != nullptr;
            if (isDate) {
                applyDateMask(binding);
            }
            if (modelTextOf(*line, isDate) != text) {
                const int cursor = line->cursorPosition();
                line->setText(text);
                line->setCursorPosition(std::min(cursor, static_cast<int>(text.size())));
            }
        } else if (auto* memo = qobject_cast<QPlainTextEdit*>(widget)) {
            if (memo->toPlainText() != text) {
                memo->setPlainText(text);
                memo->moveCursor(QTextCursor::End);
            }
        }
        return;
    }
    const QString caption = QString::fromStdString(control->Caption());
    if (auto* box = qobject_cast<QGroupBox*>(widget)) {
        box->setTitle(caption);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(caption);
    } else if (auto* tool = qobject_cast<QToolButton*>(widget)) {
        QString hint = QString::fromStdString(control->Hint());
        if (hint.isEmpty() && dynamic_cast<host::TBtnPesquisa*>(control) != nullptr) {
            hint = QStringLiteral("Pesquisar");
        }
        const QIcon icon = iconForCommand(hint, *tool->style());
        tool->setIcon(icon);
        if (!caption.isEmpty()) {
            tool->setText(caption);
            tool->setToolButtonStyle(icon.isNull() ? Qt::ToolButtonTextOnly
                                                   : Qt::ToolButtonTextBesideIcon);
        } else {
            tool->setText(hint);
            tool->setToolButtonStyle(icon.isNull() ? Qt::ToolButtonTextOnly
                                                   : Qt::ToolButtonIconOnly);
        }
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(caption);
    }
}

void FormView::applyDateMask(Binding& binding) {
    auto* date = dynamic_cast<host::TDateEditPlus*>(binding.control);
    auto* line = qobject_cast<QLineEdit*>(binding.widget);
    if (date == nullptr || line == nullptr) {
        return;
    }
    // A zero date is an empty field; the mask's slashes show only while the
    // operator is in the field or a date is there.
    const bool wanted = m_form.ActiveControl() == date || !date->Text().empty();
    if (wanted == !line->inputMask().isEmpty()) {
        return;
    }
    ++m_updating;
    line->setInputMask(wanted ? QStringLiteral("99/99/9999; ") : QString());
    line->setText(QString::fromStdString(date->Text()));
    line->setCursorPosition(0);
    --m_updating;
}

void FormView::applyChecked(Binding& binding) {
    auto* button = qobject_cast<QAbstractButton*>(binding.widget);
    if (button == nullptr) {
        return;
    }
    if (auto* check = dynamic_cast<host::TCheckBox*>(binding.control)) {
        button->setChecked(check->Checked());
    } else if (auto* radio = dynamic_cast<host::TRadioButton*>(binding.control)) {
        button->setChecked(radio->Checked());
    }
}

void FormView::applyData(Binding& binding) {
    if (auto* chart = dynamic_cast<host::TChart*>(binding.control)) {
        refreshChartView(binding.widget, *chart);
        return;
    }
    if (auto* grid = dynamic_cast<host::TDBGrid*>(binding.control)) {
        auto* view = qobject_cast<QTableView*>(binding.widget);
        if (view == nullptr || binding.gridModel == nullptr) {
            return;
        }
        const int columnsBefore = binding.gridModel->columnCount();
        binding.gridModel->refresh();
        if (binding.gridModel->columnCount() != columnsBefore) {
            applyColumnWidths(*grid, *view, *binding.gridModel);
        }
        // Columns of the grid's default width grow to what they show.
        for (int column = 0; column < binding.gridModel->columnCount(); ++column) {
            if (grid->ColumnAt(column).Width <= 0) {
                const int needed = static_cast<QAbstractItemView*>(view)->sizeHintForColumn(column);
                if (needed > view->columnWidth(column)) {
                    view->setColumnWidth(column, needed);
                }
            }
        }
        const int row = binding.gridModel->currentRow();
        if (row < 0) {
            view->clearSelection();
            return;
        }
        const int column =
            std::clamp(grid->SelectedIndex, 0, std::max(0, binding.gridModel->columnCount() - 1));
        const QModelIndex current = binding.gridModel->index(row, column);
        view->selectionModel()->setCurrentIndex(
            current, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        view->scrollTo(current);
        return;
    }
    if (dynamic_cast<host::TDBText*>(binding.control) != nullptr ||
        dynamic_cast<host::TDBEdit*>(binding.control) != nullptr) {
        applyText(binding);
    }
}

void FormView::applyFont(const Binding& binding) {
    if (binding.control == &m_form) {
        return;
    }
    QFont font = QApplication::font();
    font.setBold(binding.control->Bold());
    binding.widget->setFont(font);
    if (auto* tabs = qobject_cast<QTabWidget*>(binding.widget)) {
        tabs->tabBar()->setFont(font);
    }
}

void FormView::applyColor(const Binding& binding) {
    const QColor color = colorOf(binding.control->Color());
    QWidget* widget = binding.widget;
    QPalette palette = widget->palette();
    const bool isEntry = qobject_cast<QLineEdit*>(widget) != nullptr ||
                         qobject_cast<QPlainTextEdit*>(widget) != nullptr ||
                         qobject_cast<QTableView*>(widget) != nullptr;
    if (!color.isValid()) {
        return;
    }
    if (isEntry) {
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            palette.setColor(group, QPalette::Base, color);
        }
    } else if (binding.control->Color() == host::TColor::clBlue) {
        palette.setColor(QPalette::WindowText, color);
    } else {
        palette.setColor(QPalette::Window, color);
        widget->setAutoFillBackground(true);
    }
    widget->setPalette(palette);
}

void FormView::refreshSiblingGrids(const Binding& changed) {
    const host::TDataSource* source = nullptr;
    if (auto* text = dynamic_cast<host::TDBText*>(changed.control)) {
        source = text->DataSource();
    } else if (auto* edit = dynamic_cast<host::TDBEdit*>(changed.control)) {
        source = edit->DataSource();
    } else if (auto* grid = dynamic_cast<host::TDBGrid*>(changed.control)) {
        source = grid->DataSource();
    }
    if (source == nullptr) {
        return;
    }
    for (Binding& binding : m_bindings) {
        auto* grid = dynamic_cast<host::TDBGrid*>(binding.control);
        if (grid != nullptr && &binding != &changed && grid->DataSource() == source) {
            applyData(binding);
        }
    }
}

void FormView::refreshNavigators() {
    for (const Binding& binding : m_bindings) {
        auto* navigator = dynamic_cast<host::TDBNavigator*>(binding.control);
        if (navigator == nullptr) {
            continue;
        }
        host::TClientDataSet* rows =
            navigator->DataSource != nullptr ? navigator->DataSource->DataSet : nullptr;
        const bool browsing = rows != nullptr && rows->Active() && !rows->IsEmpty() &&
                              rows->State() == host::TDataSetState::dsBrowse;
        const bool atFirst = !browsing || rows->Bof() || rows->RecNo() <= 1;
        const bool atLast = !browsing || rows->Eof() || rows->RecNo() >= rows->RecordCount();
        const auto buttons = binding.widget->findChildren<QToolButton*>();
        for (int i = 0; i < buttons.size(); ++i) {
            buttons[i]->setEnabled(i < 2 ? !atFirst : !atLast);
        }
    }
}

}  // namespace desktop
