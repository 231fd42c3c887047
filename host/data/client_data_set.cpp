#include "host/data/client_data_set.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <unordered_map>
#include <utility>

#include "host/data/exceptions.h"
#include "host/data/field_values.h"

namespace host {

namespace {

using Values = std::vector<Variant>;

// Spacing of the position keys of loaded rows, so rows added without logging
// can take a key between two neighbours.
constexpr std::uint64_t kOrderGap = std::uint64_t{1} << 32;

const char* const kNotEditing = "Dataset not in edit or insert mode";

std::string upperName(std::string_view name) {
    std::string result(name);
    for (char& c : result) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return result;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'a' && x <= 'z') {
            x = static_cast<char>(x - 'a' + 'A');
        }
        if (y >= 'a' && y <= 'z') {
            y = static_cast<char>(y - 'a' + 'A');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

bool isEmptyValue(const Variant& value) {
    return value.IsNull() || (value.Type() == VarType::Text && value.AsString().empty()) ||
           (value.Type() == VarType::Blob && value.AsBlob().bytes.empty());
}

}  // namespace

struct TClientDataSet::Impl {
    // A record as loaded points into the loaded packet's row (cells picked by
    // the column map); a record written since holds its own values.
    struct Row {
        const Values* base = nullptr;
        Values values;
        std::unique_ptr<Values> original;  // values as loaded, once modified under logging
        RowStatus status = RowStatus::Unmodified;
        std::uint64_t order = 0;      // position in the base data
        std::uint64_t changeSeq = 0;  // when it entered the change log
        std::uint64_t id = 0;
    };
    // Read access to a record's stored fields by slot, wherever they live.
    struct View {
        const Values* cells = nullptr;
        const std::vector<std::size_t>* columns = nullptr;  // null: cells are by slot
        explicit operator bool() const { return cells != nullptr; }
        const Variant& operator[](std::size_t slot) const {
            return (*cells)[columns != nullptr ? (*columns)[slot] : slot];
        }
    };
    struct DeletedRow {
        Values original;
        std::uint64_t order = 0;
        std::uint64_t changeSeq = 0;
        std::uint64_t id = 0;
    };

    explicit Impl(TClientDataSet& owner) : self(owner) {}

    TClientDataSet& self;
    // The packet the records were loaded from, shared rather than copied, and
    // the packet column of each stored field.
    std::shared_ptr<const DataPacket> basePacket;
    std::vector<std::size_t> baseColumns;
    std::vector<Row> rows;
    std::vector<DeletedRow> deleted;
    int current = -1;
    bool bof = true;
    bool eof = true;

    // The record being edited or inserted.
    Values buffer;
    bool bufferModified = false;
    std::size_t insertAt = 0;

    int storedCount = 0;
    int calculatedCount = 0;

    // Field reads see this record instead of the current one (ReadRecord).
    View readOverride;
    // While OnCalcFields runs: the record it computes and its calculated values.
    bool calculating = false;
    View calcSource;
    Values* calcTarget = nullptr;

    std::uint64_t nextId = 1;
    std::uint64_t nextSeq = 1;
    std::vector<std::pair<int, std::function<void(TDataEvent)>>> observers;
    int nextToken = 1;

    bool editing() const {
        return self.m_state == TDataSetState::dsEdit || self.m_state == TDataSetState::dsInsert;
    }

    std::string prefixed(const std::string& text) const {
        return self.m_name.empty() ? text : self.m_name + ": " + text;
    }

    void checkModifiable() const {
        checkActive();
        if (self.ReadOnly) {
            throw EDatabaseError("Cannot modify a read-only dataset");
        }
    }

    void checkActive() const {
        if (!self.Active()) {
            throw EDatabaseError(prefixed("Cannot perform this operation on a closed dataset"));
        }
    }

    void notify(TDataEvent event) {
        if (observers.empty()) {
            return;
        }
        // Observers may add or remove observers while being told.
        const auto snapshot = observers;
        for (const auto& [token, observer] : snapshot) {
            if (observer) {
                observer(event);
            }
        }
    }

    void setState(TDataSetState state) {
        if (self.m_state != state) {
            self.m_state = state;
            notify(TDataEvent::deStateChange);
        }
    }

    void prepareLayout() {
        storedCount = 0;
        calculatedCount = 0;
        for (const auto& field : self.m_fields) {
            field->m_slotCalculated = field->Calculated;
            field->m_slot = field->Calculated ? calculatedCount++ : storedCount++;
        }
    }

    std::vector<FieldDef> storedDefinitions() const {
        std::vector<FieldDef> definitions;
        for (const auto& field : self.m_fields) {
            const bool calculated = self.Active() ? field->m_slotCalculated : field->Calculated;
            if (!calculated) {
                definitions.push_back(field->Definition());
            }
        }
        return definitions;
    }

    void clearContents() {
        rows.clear();
        basePacket.reset();
        baseColumns.clear();
        deleted.clear();
        current = -1;
        bof = true;
        eof = true;
        buffer.clear();
        bufferModified = false;
    }

    View viewOf(const Row& row) const {
        return row.base != nullptr ? View{row.base, &baseColumns} : View{&row.values, nullptr};
    }

    Values valuesOf(const Row& row) const {
        if (row.base == nullptr) {
            return row.values;
        }
        Values values;
        values.reserve(baseColumns.size());
        for (const std::size_t column : baseColumns) {
            values.push_back((*row.base)[column]);
        }
        return values;
    }

    // Gives a record its own values before they change.
    void detach(Row& row) {
        if (row.base != nullptr) {
            row.values = valuesOf(row);
            row.base = nullptr;
        }
    }

    View activeValues() const {
        if (calculating) {
            return calcSource;
        }
        if (readOverride) {
            return readOverride;
        }
        if (editing()) {
            return View{&buffer, nullptr};
        }
        if (current >= 0) {
            return viewOf(rows[static_cast<std::size_t>(current)]);
        }
        return {};
    }

    // Calculated values are computed whenever read, so they always reflect the
    // record as it is now and the handler as it is now.
    Variant calculatedValue(const TField& field) {
        if (calculating) {
            return (*calcTarget)[static_cast<std::size_t>(field.m_slot)];
        }
        const View source = activeValues();
        if (!source || !self.OnCalcFields) {
            return {};
        }
        Values calculated(static_cast<std::size_t>(calculatedCount));
        calculating = true;
        calcSource = source;
        calcTarget = &calculated;
        struct Reset {
            Impl& impl;
            ~Reset() {
                impl.calculating = false;
                impl.calcSource = {};
                impl.calcTarget = nullptr;
            }
        } reset{*this};
        self.OnCalcFields(self);
        return calculated[static_cast<std::size_t>(field.m_slot)];
    }

    // Moves the cursor; observers and AfterScroll hear of it only when the
    // current record really changes.
    void moveTo(int index, bool atBof, bool atEof) {
        bof = atBof;
        eof = atEof;
        if (index == current) {
            return;
        }
        current = index;
        notify(TDataEvent::deDataSetScroll);
        if (self.AfterScroll) {
            self.AfterScroll(self);
        }
    }

    // Leaves edit or insert state before an operation that needs browsing:
    // posts a modified record, drops an untouched one.
    void checkBrowseMode() {
        if (!editing()) {
            return;
        }
        if (bufferModified) {
            self.Post();
        } else {
            self.Cancel();
        }
    }

    void checkRequired() const {
        for (const auto& field : self.m_fields) {
            if (field->Required && !field->m_slotCalculated &&
                isEmptyValue(buffer[static_cast<std::size_t>(field->m_slot)])) {
                throw EDatabaseError("Field '" + field->GetDisplayLabel() + "' must have a value");
            }
        }
    }

    // Gives every row outside the change log's inserts a fresh, evenly spaced
    // position key, keeping the relative order of present and deleted rows.
    void renumberOrder() {
        std::vector<std::uint64_t*> keys;
        for (Row& row : rows) {
            if (row.status != RowStatus::Inserted) {
                keys.push_back(&row.order);
            }
        }
        for (DeletedRow& row : deleted) {
            keys.push_back(&row.order);
        }
        std::stable_sort(keys.begin(), keys.end(),
                         [](const std::uint64_t* a, const std::uint64_t* b) { return *a < *b; });
        std::uint64_t next = kOrderGap;
        for (std::uint64_t* key : keys) {
            *key = next;
            next += kOrderGap;
        }
    }

    // Position key for a row that joins the base data at `position`.
    std::uint64_t orderKeyAt(std::size_t position) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            std::uint64_t low = 0;
            std::uint64_t high = 0;
            bool hasHigh = false;
            for (std::size_t i = position; i > 0; --i) {
                if (rows[i - 1].status != RowStatus::Inserted) {
                    low = rows[i - 1].order;
                    break;
                }
            }
            for (std::size_t i = position; i < rows.size(); ++i) {
                if (rows[i].status != RowStatus::Inserted) {
                    high = rows[i].order;
                    hasHigh = true;
                    break;
                }
            }
            // Deleted rows between the neighbours come back before the new row,
            // which sits right before the record it was inserted in front of.
            for (const DeletedRow& row : deleted) {
                if (!hasHigh || row.order < high) {
                    low = std::max(low, row.order);
                }
            }
            if (!hasHigh) {
                if (low <= std::numeric_limits<std::uint64_t>::max() - kOrderGap) {
                    return low + kOrderGap;
                }
            } else if (high - low >= 2) {
                return low + (high - low) / 2;
            }
            renumberOrder();
        }
        return 0;
    }

    void storeBuffer() {
        if (self.m_state == TDataSetState::dsInsert) {
            Row row;
            row.values = std::move(buffer);
            row.id = nextId++;
            const std::size_t position = std::min(insertAt, rows.size());
            if (self.LogChanges) {
                row.status = RowStatus::Inserted;
                row.changeSeq = nextSeq++;
            } else {
                row.order = orderKeyAt(position);
            }
            rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(position), std::move(row));
            current = static_cast<int>(position);
        } else {
            Row& row = rows[static_cast<std::size_t>(current)];
            detach(row);
            if (self.LogChanges && row.status == RowStatus::Unmodified) {
                row.original = std::make_unique<Values>(std::move(row.values));
                row.status = RowStatus::Modified;
                row.changeSeq = nextSeq++;
            }
            row.values = std::move(buffer);
        }
        buffer.clear();
        bufferModified = false;
        bof = false;
        eof = false;
    }

    // Fills the set from a packet. The packet is kept and shared: records
    // point into its rows, so a load costs one small entry per row; only a row
    // with a cell of another type than its field gets values of its own.
    void load(std::shared_ptr<const DataPacket> shared) {
        if (self.Active()) {
            self.Close();
        }
        prepareLayout();
        const DataPacket& packet = *shared;

        std::unordered_map<std::string, std::size_t> packetColumns;
        packetColumns.reserve(packet.fields.size());
        for (std::size_t i = 0; i < packet.fields.size(); ++i) {
            packetColumns.emplace(upperName(packet.fields[i].name), i);
        }
        struct Column {
            std::size_t source = 0;
            FieldType type = FieldType::String;
            VarType natural = VarType::Text;
            const TField* field = nullptr;
        };
        std::vector<Column> columns(static_cast<std::size_t>(storedCount));
        std::vector<std::size_t> sources(columns.size());
        for (const auto& field : self.m_fields) {
            if (field->m_slotCalculated) {
                continue;
            }
            const auto found = packetColumns.find(upperName(field->FieldName()));
            if (found == packetColumns.end()) {
                throw EDatabaseError(prefixed("Field '" + field->FieldName() + "' not found"));
            }
            const FieldType packetType = packet.fields[found->second].type;
            if (!fieldTypesCompatible(field->DataType(), packetType)) {
                throw EDatabaseError(prefixed("Type mismatch for field '" + field->FieldName() +
                                              "', expecting: " + fieldTypeName(field->DataType()) +
                                              " actual: " + fieldTypeName(packetType)));
            }
            const auto slot = static_cast<std::size_t>(field->m_slot);
            columns[slot] = {found->second, field->DataType(), naturalVarType(field->DataType()),
                             field.get()};
            sources[slot] = found->second;
        }

        const std::size_t width = packet.fields.size();
        std::vector<Row> loaded(packet.rows.size());
        for (std::size_t r = 0; r < packet.rows.size(); ++r) {
            const Values& source = packet.rows[r];
            if (source.size() != width) {
                throw EDatabaseError(prefixed("Row " + std::to_string(r + 1) +
                                              " of the packet has " +
                                              std::to_string(source.size()) + " values for " +
                                              std::to_string(width) + " fields"));
            }
            Row& row = loaded[r];
            row.base = &source;
            row.order = (r + 1) * kOrderGap;
            row.id = nextId++;
            for (std::size_t c = 0; c < columns.size(); ++c) {
                const Column& column = columns[c];
                const Variant& cell = source[column.source];
                if (cell.Type() == column.natural || cell.IsNull()) {
                    continue;
                }
                if (row.base != nullptr) {
                    row.values.reserve(columns.size());
                    for (const std::size_t sourceColumn : sources) {
                        row.values.push_back(source[sourceColumn]);
                    }
                    row.base = nullptr;
                }
                try {
                    row.values[c] = valueForField(cell, column.type);
                } catch (const Exception& error) {
                    throw EDatabaseError(prefixed("Invalid value for field '" +
                                                  column.field->FieldName() + "' in row " +
                                                  std::to_string(r + 1) + ": " + error.what()));
                }
            }
        }

        clearContents();
        basePacket = std::move(shared);
        baseColumns = std::move(sources);
        rows = std::move(loaded);
        current = rows.empty() ? -1 : 0;
        bof = true;
        eof = rows.empty();
        setState(TDataSetState::dsBrowse);
        notify(TDataEvent::deDataSetChange);
        if (!rows.empty() && self.AfterScroll) {
            self.AfterScroll(self);
        }
    }
};

// ------------------------------------------------------------ construction

TClientDataSet::TClientDataSet(std::string name)
    : m_name(std::move(name)), m_impl(std::make_unique<Impl>(*this)) {}

TClientDataSet::~TClientDataSet() = default;

TField& TClientDataSet::AddField(FieldDef def) {
    if (Active()) {
        throw EDatabaseError(m_impl->prefixed("Cannot perform this operation on an open dataset"));
    }
    if (def.name.empty()) {
        throw EDatabaseError(m_impl->prefixed("Field name missing"));
    }
    if (FindField(def.name) != nullptr) {
        throw EDatabaseError(m_impl->prefixed("Duplicate field name '" + def.name + "'"));
    }
    m_fields.push_back(std::make_unique<TField>(*this, std::move(def)));
    return *m_fields.back();
}

TField& TClientDataSet::AddCalculatedField(FieldDef def) {
    TField& field = AddField(std::move(def));
    field.Calculated = true;
    return field;
}

TField* TClientDataSet::FindField(std::string_view name) const {
    for (const auto& field : m_fields) {
        if (sameName(field->FieldName(), name)) {
            return field.get();
        }
    }
    return nullptr;
}

TField& TClientDataSet::FieldByName(std::string_view name) const {
    TField* field = FindField(name);
    if (field == nullptr) {
        throw EDatabaseError(m_impl->prefixed("Field '" + std::string(name) + "' not found"));
    }
    return *field;
}

// ----------------------------------------------------------------- loading

void TClientDataSet::SetData(const Variant& packet) {
    if (packet.IsNull()) {
        Close();
        return;
    }
    m_impl->load(packet.PacketPtr());
}

void TClientDataSet::LoadFromPacket(const DataPacket& packet) {
    m_impl->load(std::make_shared<const DataPacket>(packet));
}

void TClientDataSet::LoadFromPacket(DataPacket&& packet) {
    m_impl->load(std::make_shared<const DataPacket>(std::move(packet)));
}

DataPacket TClientDataSet::Data() const {
    DataPacket packet;
    packet.fields = m_impl->storedDefinitions();
    packet.rows.reserve(m_impl->rows.size());
    for (const auto& row : m_impl->rows) {
        packet.rows.push_back(m_impl->valuesOf(row));
    }
    return packet;
}

void TClientDataSet::Open() {
    if (Active()) {
        return;
    }
    if (Provider) {
        Provider(*this);
        if (Active()) {
            return;
        }
    }
    m_impl->prepareLayout();
    m_impl->clearContents();
    m_impl->setState(TDataSetState::dsBrowse);
    m_impl->notify(TDataEvent::deDataSetChange);
}

void TClientDataSet::Close() {
    if (!Active()) {
        return;
    }
    m_impl->clearContents();
    m_impl->setState(TDataSetState::dsInactive);
    m_impl->notify(TDataEvent::deDataSetChange);
}

// -------------------------------------------------------------- navigation

void TClientDataSet::First() {
    m_impl->checkActive();
    m_impl->checkBrowseMode();
    if (m_impl->rows.empty()) {
        m_impl->bof = m_impl->eof = true;
        return;
    }
    m_impl->moveTo(0, true, false);
}

void TClientDataSet::Next() {
    m_impl->checkActive();
    m_impl->checkBrowseMode();
    const int count = RecordCount();
    if (m_impl->current < 0 || m_impl->current >= count - 1) {
        m_impl->eof = true;
        return;
    }
    m_impl->moveTo(m_impl->current + 1, false, false);
}

void TClientDataSet::Prior() {
    m_impl->checkActive();
    m_impl->checkBrowseMode();
    if (m_impl->current <= 0) {
        m_impl->bof = true;
        return;
    }
    m_impl->moveTo(m_impl->current - 1, false, false);
}

void TClientDataSet::Last() {
    m_impl->checkActive();
    m_impl->checkBrowseMode();
    if (m_impl->rows.empty()) {
        m_impl->bof = m_impl->eof = true;
        return;
    }
    m_impl->moveTo(RecordCount() - 1, false, true);
}

bool TClientDataSet::Bof() const {
    return !Active() || m_impl->bof;
}

bool TClientDataSet::Eof() const {
    return !Active() || m_impl->eof;
}

int TClientDataSet::RecNo() const {
    return Active() ? m_impl->current + 1 : 0;
}

void TClientDataSet::SetRecNo(int recNo) {
    m_impl->checkActive();
    m_impl->checkBrowseMode();
    if (recNo < 1 || recNo > RecordCount()) {
        return;
    }
    m_impl->moveTo(recNo - 1, false, false);
}

int TClientDataSet::RecordCount() const {
    return Active() ? static_cast<int>(m_impl->rows.size()) : 0;
}

bool TClientDataSet::IsEmpty() const {
    return !Active() || (m_impl->rows.empty() && m_state != TDataSetState::dsInsert);
}

// ------------------------------------------------------------------ editing

void TClientDataSet::Edit() {
    m_impl->checkModifiable();
    if (m_impl->editing()) {
        return;
    }
    if (m_impl->rows.empty()) {
        Insert();
        return;
    }
    m_impl->buffer = m_impl->valuesOf(m_impl->rows[static_cast<std::size_t>(m_impl->current)]);
    m_impl->bufferModified = false;
    m_impl->setState(TDataSetState::dsEdit);
}

void TClientDataSet::Insert() {
    m_impl->checkModifiable();
    m_impl->checkBrowseMode();
    m_impl->buffer.assign(static_cast<std::size_t>(m_impl->storedCount), Variant{});
    m_impl->bufferModified = false;
    m_impl->insertAt = m_impl->current >= 0 ? static_cast<std::size_t>(m_impl->current) : 0;
    m_impl->setState(TDataSetState::dsInsert);
    m_impl->notify(TDataEvent::deDataSetChange);
}

void TClientDataSet::Append() {
    m_impl->checkModifiable();
    m_impl->checkBrowseMode();
    m_impl->buffer.assign(static_cast<std::size_t>(m_impl->storedCount), Variant{});
    m_impl->bufferModified = false;
    m_impl->insertAt = m_impl->rows.size();
    m_impl->setState(TDataSetState::dsInsert);
    m_impl->notify(TDataEvent::deDataSetChange);
}

void TClientDataSet::Post() {
    if (!m_impl->editing()) {
        return;
    }
    if (BeforePost) {
        BeforePost(*this);
        if (!m_impl->editing()) {
            return;
        }
    }
    m_impl->checkRequired();
    m_impl->storeBuffer();
    m_impl->setState(TDataSetState::dsBrowse);
    m_impl->notify(TDataEvent::deDataSetChange);
    if (AfterPost) {
        AfterPost(*this);
    }
}

void TClientDataSet::Cancel() {
    if (!m_impl->editing()) {
        return;
    }
    m_impl->buffer.clear();
    m_impl->bufferModified = false;
    m_impl->setState(TDataSetState::dsBrowse);
    m_impl->notify(TDataEvent::deDataSetChange);
    if (AfterCancel) {
        AfterCancel(*this);
    }
}

void TClientDataSet::Delete() {
    m_impl->checkModifiable();
    if (m_state == TDataSetState::dsInsert) {
        Cancel();
        return;
    }
    if (m_impl->rows.empty()) {
        throw EDatabaseError(m_impl->prefixed("Cannot perform this operation on an empty dataset"));
    }
    if (m_state == TDataSetState::dsEdit) {
        // The edits die with the record: no AfterCancel.
        m_impl->buffer.clear();
        m_impl->bufferModified = false;
        m_impl->setState(TDataSetState::dsBrowse);
    }
    auto& rows = m_impl->rows;
    const auto index = static_cast<std::size_t>(m_impl->current);
    Impl::Row removed = std::move(rows[index]);
    rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(index));
    if (LogChanges && removed.status != RowStatus::Inserted) {
        Impl::DeletedRow gone;
        gone.original = removed.original ? std::move(*removed.original) : m_impl->valuesOf(removed);
        gone.order = removed.order;
        gone.changeSeq = m_impl->nextSeq++;
        gone.id = removed.id;
        m_impl->deleted.push_back(std::move(gone));
    }
    if (rows.empty()) {
        m_impl->current = -1;
        m_impl->bof = m_impl->eof = true;
    } else {
        m_impl->current = std::min(m_impl->current, static_cast<int>(rows.size()) - 1);
        m_impl->bof = m_impl->eof = false;
    }
    m_impl->notify(TDataEvent::deDataSetChange);
    if (AfterDelete) {
        AfterDelete(*this);
    }
    // Another record is current now.
    if (Active() && !m_impl->rows.empty() && AfterScroll) {
        AfterScroll(*this);
    }
}

// --------------------------------------------------------------- change log

int TClientDataSet::ChangeCount() const {
    int count = static_cast<int>(m_impl->deleted.size());
    for (const auto& row : m_impl->rows) {
        if (row.status != RowStatus::Unmodified) {
            ++count;
        }
    }
    return count;
}

DataPacket TClientDataSet::Delta() const {
    DataPacket delta;
    delta.fields = m_impl->storedDefinitions();
    struct Change {
        std::uint64_t seq;
        bool isDeleted;
        std::size_t index;
    };
    std::vector<Change> changes;
    for (std::size_t i = 0; i < m_impl->rows.size(); ++i) {
        if (m_impl->rows[i].status != RowStatus::Unmodified) {
            changes.push_back({m_impl->rows[i].changeSeq, false, i});
        }
    }
    for (std::size_t i = 0; i < m_impl->deleted.size(); ++i) {
        changes.push_back({m_impl->deleted[i].changeSeq, true, i});
    }
    std::sort(changes.begin(), changes.end(),
              [](const Change& a, const Change& b) { return a.seq < b.seq; });
    for (const Change& change : changes) {
        if (change.isDeleted) {
            delta.rows.push_back(m_impl->deleted[change.index].original);
            delta.rowStatus.push_back(RowStatus::Deleted);
            continue;
        }
        const auto& row = m_impl->rows[change.index];
        if (row.status == RowStatus::Modified) {
            delta.rows.push_back(*row.original);
            delta.rowStatus.push_back(RowStatus::Unmodified);
        }
        delta.rows.push_back(m_impl->valuesOf(row));
        delta.rowStatus.push_back(row.status);
    }
    return delta;
}

void TClientDataSet::CancelUpdates() {
    if (!Active()) {
        return;
    }
    Cancel();
    if (!Active()) {
        return;
    }
    auto& impl = *m_impl;
    const int oldIndex = impl.current;
    const std::uint64_t currentId =
        oldIndex >= 0 ? impl.rows[static_cast<std::size_t>(oldIndex)].id : 0;

    std::vector<Impl::Row> restored;
    restored.reserve(impl.rows.size() + impl.deleted.size());
    for (auto& row : impl.rows) {
        if (row.status == RowStatus::Inserted) {
            continue;
        }
        if (row.status == RowStatus::Modified) {
            row.values = std::move(*row.original);
            row.original.reset();
        }
        row.status = RowStatus::Unmodified;
        restored.push_back(std::move(row));
    }
    for (auto& gone : impl.deleted) {
        Impl::Row row;
        row.values = std::move(gone.original);
        row.order = gone.order;
        row.id = gone.id;
        restored.push_back(std::move(row));
    }
    std::stable_sort(restored.begin(), restored.end(),
                     [](const Impl::Row& a, const Impl::Row& b) { return a.order < b.order; });
    impl.rows = std::move(restored);
    impl.deleted.clear();

    impl.current = -1;
    for (std::size_t i = 0; i < impl.rows.size(); ++i) {
        if (impl.rows[i].id == currentId) {
            impl.current = static_cast<int>(i);
            break;
        }
    }
    if (impl.current < 0 && !impl.rows.empty()) {
        impl.current = std::clamp(oldIndex, 0, static_cast<int>(impl.rows.size()) - 1);
    }
    impl.bof = impl.eof = impl.rows.empty();
    impl.notify(TDataEvent::deDataSetChange);
}

void TClientDataSet::MergeChangeLog() {
    if (!Active()) {
        return;
    }
    m_impl->checkBrowseMode();
    for (auto& row : m_impl->rows) {
        row.original.reset();
        row.status = RowStatus::Unmodified;
        row.changeSeq = 0;
    }
    m_impl->deleted.clear();
    m_impl->renumberOrder();
}

// ---------------------------------------------------------------- observers

int TClientDataSet::AddObserver(std::function<void(TDataEvent)> observer) {
    const int token = m_impl->nextToken++;
    m_impl->observers.emplace_back(token, std::move(observer));
    return token;
}

void TClientDataSet::RemoveObserver(int token) {
    auto& observers = m_impl->observers;
    observers.erase(std::remove_if(observers.begin(), observers.end(),
                                   [token](const auto& entry) { return entry.first == token; }),
                    observers.end());
}

// ------------------------------------------------------------ field access

void TClientDataSet::ReadRecord(int recNo, const std::function<void()>& read) const {
    if (recNo < 1 || recNo > RecordCount()) {
        throw EDatabaseError(m_impl->prefixed("Record " + std::to_string(recNo) + " not found"));
    }
    auto& impl = *m_impl;
    // The record being edited shows its edits.
    const bool editedRecord = m_state == TDataSetState::dsEdit && recNo - 1 == impl.current;
    const Impl::View saved = impl.readOverride;
    impl.readOverride =
        editedRecord ? Impl::View{} : impl.viewOf(impl.rows[static_cast<std::size_t>(recNo - 1)]);
    struct Restore {
        Impl& impl;
        Impl::View saved;
        ~Restore() { impl.readOverride = saved; }
    } restore{impl, saved};
    read();
}

Variant TClientDataSet::GetFieldValue(const TField& field) const {
    if (!Active() || field.m_slot < 0 || &field.m_owner != this) {
        return {};
    }
    if (field.m_slotCalculated) {
        return m_impl->calculatedValue(field);
    }
    const Impl::View values = m_impl->activeValues();
    return values ? values[static_cast<std::size_t>(field.m_slot)] : Variant{};
}

void TClientDataSet::SetFieldValue(const TField& field, const Variant& value) {
    auto& impl = *m_impl;
    if (!Active() || field.m_slot < 0) {
        throw EDatabaseError(kNotEditing);
    }
    if (field.m_slotCalculated) {
        if (!impl.calculating) {
            throw EDatabaseError("Field '" + field.GetDisplayLabel() + "' cannot be modified");
        }
        (*impl.calcTarget)[static_cast<std::size_t>(field.m_slot)] =
            valueForField(value, field.DataType());
        return;
    }
    if (impl.calculating || !impl.editing()) {
        throw EDatabaseError(kNotEditing);
    }
    impl.buffer[static_cast<std::size_t>(field.m_slot)] = valueForField(value, field.DataType());
    impl.bufferModified = true;
    impl.notify(TDataEvent::deRecordChange);
}

bool TClientDataSet::CanModify(const TField& field) const {
    if (!Active() || field.m_slot < 0) {
        return false;
    }
    if (field.m_slotCalculated) {
        return m_impl->calculating;
    }
    return !m_impl->calculating && m_impl->editing();
}

}  // namespace host
