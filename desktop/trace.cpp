#include "desktop/trace.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QKeySequence>
#include <QScrollBar>
#include <QTableView>
#include <QTextStream>
#include <QWidget>
#include <memory>

#include "desktop/form_view.h"

namespace desktop {

namespace {

std::unique_ptr<QFile>& traceFile() {
    static std::unique_ptr<QFile> file;
    return file;
}

}  // namespace

bool Trace::open(const QString& file) {
    auto target = std::make_unique<QFile>(file);
    if (!target->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        return false;
    }
    traceFile() = std::move(target);
    return true;
}

bool Trace::enabled() {
    return traceFile() != nullptr;
}

void Trace::write(const QString& line) {
    if (!enabled()) {
        return;
    }
    QString flat = line;
    flat.replace(QLatin1Char('\n'), QLatin1Char(' '));
    traceFile()->write(flat.toUtf8() + '\n');
    traceFile()->flush();
}

QString Trace::describe(const QWidget* widget) {
    if (widget == nullptr) {
        return QStringLiteral("none");
    }
    for (const QWidget* current = widget; current != nullptr; current = current->parentWidget()) {
        if (const auto* view = dynamic_cast<const FormView*>(current); view && view->live()) {
            const host::TControl* control = view->controlAt(widget);
            const QString name = control != nullptr && control != &view->form()
                                     ? QString::fromStdString(control->Name())
                                     : QStringLiteral("-");
            return QString::fromStdString(view->form().Name()) + QLatin1Char(' ') + name;
        }
    }
    const QString name =
        widget->objectName().isEmpty() ? widget->metaObject()->className() : widget->objectName();
    return widget->window()->windowTitle() + QLatin1Char(' ') + name;
}

QString Trace::keyText(const QKeyEvent& event) {
    QStringList modifiers;
    if (event.modifiers().testFlag(Qt::ControlModifier)) {
        modifiers << QStringLiteral("ctrl");
    }
    if (event.modifiers().testFlag(Qt::ShiftModifier)) {
        modifiers << QStringLiteral("shift");
    }
    if (event.modifiers().testFlag(Qt::AltModifier)) {
        modifiers << QStringLiteral("alt");
    }
    const QString key = QKeySequence(event.key()).toString();
    return key + QLatin1Char(' ') +
           (modifiers.isEmpty() ? QStringLiteral("-") : modifiers.join(QLatin1Char('+')));
}

namespace {

QString boundsText(const QWidget* widget) {
    const QPoint origin = widget->mapTo(widget->window(), QPoint(0, 0));
    const QRect shown = widget->visibleRegion().boundingRect();
    const char* state = !widget->isVisible()             ? "hidden"
                        : shown.size() != widget->size() ? "clipped"
                                                         : "shown";
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(origin.x())
        .arg(origin.y())
        .arg(widget->width())
        .arg(widget->height())
        .arg(QLatin1String(state));
}

// Where every control of every open form is, and where its grids stand.
void writeLayout() {
    for (QWidget* widget : QApplication::allWidgets()) {
        const auto* view = dynamic_cast<const FormView*>(widget);
        if (view == nullptr || !view->live() || !view->isVisible()) {
            continue;
        }
        const QString form = QString::fromStdString(view->form().Name());
        Trace::write(QStringLiteral("form %1 %2").arg(form, boundsText(view)));
        for (const auto& component : view->form().Components()) {
            const auto* control = dynamic_cast<const host::TControl*>(component.get());
            QWidget* shown = control != nullptr ? view->widgetFor(control) : nullptr;
            if (shown == nullptr) {
                continue;
            }
            Trace::write(
                QStringLiteral("control %1 %2 %3")
                    .arg(form, QString::fromStdString(control->Name()), boundsText(shown)));
            if (const auto* grid = qobject_cast<const QTableView*>(shown)) {
                const QScrollBar* bar = grid->verticalScrollBar();
                const QModelIndex current = grid->currentIndex();
                const int firstShown = grid->rowAt(0);
                Trace::write(QStringLiteral("grid %1 %2 rows %3 current %4 top %5 scroll %6 %7 %8")
                                 .arg(form, QString::fromStdString(control->Name()))
                                 .arg(grid->model()->rowCount())
                                 .arg(current.isValid() ? current.row() : -1)
                                 .arg(firstShown)
                                 .arg(bar->value())
                                 .arg(bar->maximum())
                                 .arg(bar->pageStep()));
            }
        }
        for (const auto* area :
             view->findChildren<const QAbstractScrollArea*>(QStringLiteral("formScroll"))) {
            Trace::write(QStringLiteral("scroll %1 %2 %3")
                             .arg(form)
                             .arg(area->horizontalScrollBar()->isVisible() ? 1 : 0)
                             .arg(area->verticalScrollBar()->isVisible() ? 1 : 0));
        }
    }
}

// Ctrl+Shift+F11, wherever it is pressed, answers "settled" once every event
// before it has been handled, with the layout of the open forms.
class SettleKey : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_F11 &&
                key->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier)) {
                if (event->type() == QEvent::KeyPress) {
                    writeLayout();
                    Trace::write(QStringLiteral("settled"));
                }
                event->accept();
                return true;
            }
        }
        return false;
    }
};

}  // namespace

void Trace::followFocus() {
    if (!enabled()) {
        return;
    }
    // Owned by the application, so it goes when the application does.
    qApp->installEventFilter(new SettleKey(qApp));
    QObject::connect(qApp, &QApplication::focusChanged, qApp, [](QWidget*, QWidget* now) {
        if (now != nullptr) {
            write(QStringLiteral("focus ") + describe(now));
        }
    });
}

}  // namespace desktop
