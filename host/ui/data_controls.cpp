#include "host/ui/controls.h"
#include "host/ui/form.h"

namespace host {

namespace {

// Observes a data set for a control: every change refreshes the control's data.
int observe(TClientDataSet* dataSet, TControl* control) {
    if (dataSet == nullptr) {
        return 0;
    }
    return dataSet->AddObserver([control](TDataEvent) { control->Changed(TProp::Data); });
}

void stopObserving(TClientDataSet*& dataSet, int& token) {
    if (dataSet != nullptr && token != 0) {
        dataSet->RemoveObserver(token);
    }
    dataSet = nullptr;
    token = 0;
}

TClientDataSet* dataSetOf(const TDataSource* source) {
    return source != nullptr ? source->DataSet : nullptr;
}

std::string currentText(const TDataSource* source, const std::string& fieldName) {
    const TClientDataSet* dataSet = dataSetOf(source);
    if (dataSet == nullptr || !dataSet->Active() || fieldName.empty()) {
        return {};
    }
    const TField* field = dataSet->FindField(fieldName);
    return field != nullptr ? field->DisplayText() : std::string();
}

}  // namespace

// ---- TDBGrid ----

TDBGrid::TDBGrid(std::string name, TWinControl* parent) : TWinControl(std::move(name), parent) {}

TDBGrid::~TDBGrid() {
    DetachData();
}

void TDBGrid::DetachData() {
    stopObserving(m_observed, m_observerToken);
}

void TDBGrid::SetDataSource(TDataSource* source) {
    DetachData();
    m_dataSource = source;
    m_observed = dataSetOf(source);
    m_observerToken = observe(m_observed, this);
    Changed(TProp::Data);
}

int TDBGrid::ColumnCount() const {
    if (!Columns.empty()) {
        return static_cast<int>(Columns.size());
    }
    const TClientDataSet* dataSet = dataSetOf(m_dataSource);
    if (dataSet == nullptr) {
        return 0;
    }
    int count = 0;
    for (const auto& field : dataSet->Fields()) {
        count += field->Visible ? 1 : 0;
    }
    return count;
}

TColumn TDBGrid::ColumnAt(int column) const {
    if (column < 0) {
        return {};
    }
    if (!Columns.empty()) {
        return column < static_cast<int>(Columns.size()) ? Columns[static_cast<std::size_t>(column)]
                                                         : TColumn{};
    }
    const TClientDataSet* dataSet = dataSetOf(m_dataSource);
    if (dataSet == nullptr) {
        return {};
    }
    int index = 0;
    for (const auto& field : dataSet->Fields()) {
        if (!field->Visible) {
            continue;
        }
        if (index++ == column) {
            TColumn result;
            result.FieldName = field->FieldName();
            return result;
        }
    }
    return {};
}

int TDBGrid::RowCount() const {
    const TClientDataSet* dataSet = dataSetOf(m_dataSource);
    return dataSet != nullptr && dataSet->Active() ? dataSet->RecordCount() : 0;
}

std::string TDBGrid::CellText(int row, int column) const {
    const TClientDataSet* dataSet = dataSetOf(m_dataSource);
    const TColumn shown = ColumnAt(column);
    if (dataSet == nullptr || !dataSet->Active() || shown.FieldName.empty()) {
        return {};
    }
    const TField* field = dataSet->FindField(shown.FieldName);
    return field != nullptr ? field->DisplayTextAt(row) : std::string();
}

std::string TDBGrid::ColumnTitle(int column) const {
    const TColumn shown = ColumnAt(column);
    if (!shown.Title.empty()) {
        return shown.Title;
    }
    const TClientDataSet* dataSet = dataSetOf(m_dataSource);
    const TField* field = dataSet != nullptr && !shown.FieldName.empty()
                              ? dataSet->FindField(shown.FieldName)
                              : nullptr;
    return field != nullptr ? field->GetDisplayLabel() : shown.FieldName;
}

void TDBGrid::ClickCell(int row, int column) {
    TClientDataSet* dataSet = dataSetOf(m_dataSource);
    if (dataSet == nullptr || !dataSet->Active() || row < 1 || row > dataSet->RecordCount() ||
        column < 0 || column >= ColumnCount()) {
        return;
    }
    dataSet->SetRecNo(row);
    SelectedIndex = column;
    if (OnCellClick) {
        TColumn clicked = ColumnAt(column);
        OnCellClick(clicked);
    }
}

void TDBGrid::ClickTitle(int column) {
    if (column < 0 || column >= ColumnCount()) {
        return;
    }
    if (OnTitleClick) {
        TColumn clicked = ColumnAt(column);
        OnTitleClick(clicked);
    }
}

// ---- TFieldDataLink ----

void TFieldDataLink::Bind(TControl* control, TDataSource* source, std::string fieldName) {
    Detach();
    m_dataSource = source;
    m_dataField = std::move(fieldName);
    m_observed = dataSetOf(source);
    m_observerToken = observe(m_observed, control);
    control->Changed(TProp::Data);
}

void TFieldDataLink::Detach() {
    stopObserving(m_observed, m_observerToken);
}

std::string TFieldDataLink::Text() const {
    return currentText(m_dataSource, m_dataField);
}

// ---- TBtnPesquisa ----

void TBtnPesquisa::Click() {
    if (!ClickEnabled()) {
        return;
    }
    if (OnBeforePesq) {
        bool cancel = false;
        OnBeforePesq(this, cancel);
        if (cancel) {
            return;
        }
    }
    TClientDataSet* rows = dataSetOf(DataSource);
    // A closed list is opened first: a lookup query fills it then.
    if (rows != nullptr && !rows->Active()) {
        rows->Open();
    }
    if (rows == nullptr || !rows->Active() || rows->IsEmpty()) {
        if (!EmptyError.empty()) {
            Application().Platform().MessageDialog(EmptyError, TMsgDlgType::mtError, mbOK);
        }
        return;
    }
    PickListRequest request;
    request.title = Title;
    request.rows = rows;
    request.keyField = KeyField;
    if (request.keyField.empty() && !rows->Fields().empty()) {
        request.keyField = rows->Fields().front()->FieldName();
    }
    if (Associate != nullptr && !Associate->Text().empty()) {
        request.preselected.push_back(Associate->Text());
    }
    const auto chosen = Application().Platform().PickList(request);
    if (!chosen || chosen->empty()) {
        return;
    }
    const int row = chosen->front() + 1;
    if (row < 1 || row > rows->RecordCount()) {
        return;
    }
    rows->SetRecNo(row);
    if (OnAfterPesq) {
        OnAfterPesq(this);
    }
}

}  // namespace host
