// The chart control in the Qt view, on the off-screen platform: the stacked
// bars Qt Charts draws are the control's data, and they follow it.
#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QStackedBarSeries>
#include <QtTest>
#include <memory>

#include "desktop/form_view.h"
#include "host/ui/chart.h"
#include "host/ui/form.h"
#include "host/ui/scripted_platform.h"

using namespace host;

namespace {

class ChartForm : public TForm {
public:
    ChartForm() : TForm("frmGrafico") {
        SetCaption("Gráfico");
        SetBounds(0, 0, 640, 420);
        chtCancelamentos = Make<TChart>("chtCancelamentos", this);
        chtCancelamentos->Align = TAlign::alClient;
        chtCancelamentos->SetBounds(0, 0, 640, 420);
        chtCancelamentos->SetTitle("Cancelamentos por mês");
    }
    TChart* chtCancelamentos;
};

QStackedBarSeries* seriesOf(QChartView& view) {
    const auto all = view.chart()->series();
    return all.isEmpty() ? nullptr : qobject_cast<QStackedBarSeries*>(all.front());
}

QStringList categoriesOf(QChartView& view) {
    for (QAbstractAxis* axis : view.chart()->axes(Qt::Horizontal)) {
        if (auto* categories = qobject_cast<QBarCategoryAxis*>(axis)) {
            return categories->categories();
        }
    }
    return {};
}

}  // namespace

class ChartViewTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        Application().SetPlatform(&m_platform);
        m_form = Application().CreateForm<ChartForm>();
        m_view = std::make_unique<desktop::FormView>(*m_form);
        m_view->show();
    }

    void cleanup() {
        m_view.reset();
        Application().Reset();
        Application().SetPlatform(nullptr);
    }

    void emptyChartShowsItsTitleAndNoBars() {
        auto* view = qobject_cast<QChartView*>(m_view->widgetFor(m_form->chtCancelamentos));
        QVERIFY(view != nullptr);
        QCOMPARE(view->chart()->title(), QStringLiteral("Cancelamentos por mês"));
        QStackedBarSeries* series = seriesOf(*view);
        QVERIFY(series != nullptr);
        QCOMPARE(series->count(), 0);
        QVERIFY(categoriesOf(*view).isEmpty());
    }

    void barsStackTheSeriesOfEachCategory() {
        m_form->chtCancelamentos->SetData(
            {"09/2026", "10/2026", "11/2026"},
            {{"CLIENTE DESISTIU", {2, 0, 1}}, {"ERRO NA APROVAÇÃO", {1, 3, 0}}});
        auto* view = qobject_cast<QChartView*>(m_view->widgetFor(m_form->chtCancelamentos));
        QVERIFY(view != nullptr);
        QCOMPARE(categoriesOf(*view),
                 (QStringList{QStringLiteral("09/2026"), QStringLiteral("10/2026"),
                              QStringLiteral("11/2026")}));
        QStackedBarSeries* series = seriesOf(*view);
        QVERIFY(series != nullptr);
        QCOMPARE(series->count(), 2);
        const QList<QBarSet*> sets = series->barSets();
        QCOMPARE(sets[0]->label(), QStringLiteral("CLIENTE DESISTIU"));
        QCOMPARE(sets[1]->label(), QStringLiteral("ERRO NA APROVAÇÃO"));
        QCOMPARE(sets[0]->count(), 3);
        QCOMPARE(sets[0]->at(0), 2.0);
        QCOMPARE(sets[1]->at(1), 3.0);
        // The legend names every justification.
        QVERIFY(view->chart()->legend()->isVisible());

        // New data replace the old whole; a new title shows.
        m_form->chtCancelamentos->SetData({"12/2026"}, {{"Sem justificativa", {4}}});
        m_form->chtCancelamentos->SetTitle("Outro título");
        view = qobject_cast<QChartView*>(m_view->widgetFor(m_form->chtCancelamentos));
        QCOMPARE(categoriesOf(*view), QStringList{QStringLiteral("12/2026")});
        QCOMPARE(seriesOf(*view)->count(), 1);
        QCOMPARE(seriesOf(*view)->barSets()[0]->at(0), 4.0);
        QCOMPARE(view->chart()->title(), QStringLiteral("Outro título"));

        m_form->chtCancelamentos->Clear();
        QCOMPARE(seriesOf(*view)->count(), 0);
    }

    void dataThatDoNotFitTheCategoriesAreRefused() {
        bool refused = false;
        try {
            m_form->chtCancelamentos->SetData({"09/2026", "10/2026"}, {{"A", {1}}});
        } catch (const EInvalidOperation& error) {
            refused = true;
            QCOMPARE(QString::fromStdString(error.what()),
                     QStringLiteral("A série A do gráfico chtCancelamentos tem 1 valores para 2 "
                                    "categorias."));
        }
        QVERIFY(refused);
        QVERIFY(m_form->chtCancelamentos->Categories().empty());
    }

private:
    ScriptedPlatform m_platform;
    ChartForm* m_form = nullptr;
    std::unique_ptr<desktop::FormView> m_view;
};

QTEST_MAIN(ChartViewTest)
#include "chart_view_test.moc"
