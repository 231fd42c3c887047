#include "host/data/client_data_set.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <unordered_map>
#include <utility>

#include "host/data/column_packet.h"
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
    // An entry of `rows` names a loaded row of the base data by its number, or
    // (with kOwn set) a record with values of its own.
    static constexpr std::uint32_t kOwn = 0x80000000U;
    static constexpr std::uint32_t kNoBase = 0xFFFFFFFFU;

    // A record written since the load, or loaded with a value its field had to
    // convert.
    struct Record {
        Values values;
        // Values before the first logged change, unless they are the loaded
        // row `base` (a loaded row keeps no copy of what it was).
        std::unique_ptr<Values> original;
        std::uint32_t base = kNoBase;
        RowStatus status = RowStatus::Unmodified;
        std::uint64_t order = 0;      // position in the base data
        std::uint64_t changeSeq = 0;  // when it entered the change log
        std::uint64_t id = 0;
    };
    // Read access to a record's stored fields by slot, wherever they live.
    struct View {
        const Values* cells = nullptr;
        std::uint32_t baseRow = kNoBase;
        explicit operator bool() const { return cells != nullptr || baseRow != kNoBase; }
    };
    struct DeletedRow {
        Values original;  // unless it is the loaded row `base`
        std::uint32_t base = kNoBase;
        std::uint64_t order = 0;
        std::uint64_t changeSeq = 0;
        std::uint64_t id = 0;
    };

    explicit Impl(TClientDataSet& owner) : self(owner) {}

    TClientDataSet& self;
    // The loaded data by column, shared with the packet it came in when that
    // came by column, and the column of each stored field.
    std::shared_ptr<const ColumnPacket> base;
    std::vector<const PacketColumn*> baseColumns;
    std::vector<FieldType> slotTypes;
    std::uint32_t baseCount = 0;
    // Position keys of loaded rows; empty while row r still has (r + 1) gaps.
    std::vector<std::uint64_t> baseOrder;

    std::vector<std::uint32_t> rows;
    std::vector<std::unique_ptr<Record>> records;
    std::vector<std::uint32_t> freeRecords;
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
        records.clear();
        freeRecords.clear();
        base.reset();
        baseColumns.clear();
        slotTypes.clear();
        baseCount = 0;
        baseOrder.clear();
        deleted.clear();
        current = -1;
        bof = true;
        eof = true;
        buffer.clear();
        bufferModified = false;
        nextId = 1;
    }

    // ---------------------------------------------------------- records

    static bool isOwn(std::uint32_t entry) { return (entry & kOwn) != 0; }
    Record& record(std::uint32_t entry) const { return *records[entry & ~kOwn]; }

    std::uint32_t newRecord(std::unique_ptr<Record> made) {
        if (!freeRecords.empty()) {
            const std::uint32_t index = freeRecords.back();
            freeRecords.pop_back();
            records[index] = std::move(made);
            return index | kOwn;
        }
        if (records.size() >= kOwn) {
            throw EDatabaseError(prefixed("Too many records"));
        }
        records.push_back(std::move(made));
        return static_cast<std::uint32_t>(records.size() - 1) | kOwn;
    }

    void freeRecord(std::uint32_t entry) {
        records[entry & ~kOwn].reset();
        freeRecords.push_back(entry & ~kOwn);
    }

    std::uint64_t baseOrderOf(std::uint32_t row) const {
        return baseOrder.empty() ? (std::uint64_t{row} + 1) * kOrderGap : baseOrder[row];
    }

    void materializeBaseOrder() {
        if (baseOrder.empty()) {
            baseOrder.resize(baseCount);
            for (std::uint32_t r = 0; r < baseCount; ++r) {
                baseOrder[r] = (std::uint64_t{r} + 1) * kOrderGap;
            }
        }
    }

    void setBaseOrder(std::uint32_t row, std::uint64_t order) {
        if (baseOrderOf(row) != order) {
            materializeBaseOrder();
            baseOrder[row] = order;
        }
    }

    std::uint64_t orderOf(std::uint32_t entry) const {
        return isOwn(entry) ? record(entry).order : baseOrderOf(entry);
    }
    RowStatus statusOf(std::uint32_t entry) const {
        return isOwn(entry) ? record(entry).status : RowStatus::Unmodified;
    }
    std::uint64_t idOf(std::uint32_t entry) const {
        return isOwn(entry) ? record(entry).id : std::uint64_t{entry} + 1;
    }

    // The cell of a loaded row as its field stores it: the column keeps the
    // packet's kind, which a compatible field may store as another.
    Variant baseCell(std::uint32_t row, std::size_t slot) const {
        const PacketColumn& column = *baseColumns[slot];
        if (column.IsNull(row)) {
            return {};
        }
        switch (slotTypes[slot]) {
            case FieldType::String:
            case FieldType::FixedString:
                return Variant(std::string(column.Text(row)));
            case FieldType::Blob:
                return Variant(Blob{std::string(column.Text(row))});
            case FieldType::Integer:
                return Variant(column.Integer(row));
            case FieldType::Float:
                return Variant(column.Type() == FieldType::Integer
                                   ? static_cast<double>(column.Integer(row))
                                   : column.Number(row));
            case FieldType::DateTime:
                return Variant(TDateTime{column.Number(row)});
        }
        return {};
    }

    Values baseValues(std::uint32_t row) const {
        Values values;
        values.reserve(baseColumns.size());
        for (std::size_t slot = 0; slot < baseColumns.size(); ++slot) {
            values.push_back(baseCell(row, slot));
        }
        return values;
    }

    View viewOf(std::uint32_t entry) const {
        return isOwn(entry) ? View{&record(entry).values, kNoBase} : View{nullptr, entry};
    }

    Variant cellOf(const View& view, std::size_t slot) const {
        return view.cells != nullptr ? (*view.cells)[slot] : baseCell(view.baseRow, slot);
    }

    Values valuesOf(std::uint32_t entry) const {
        return isOwn(entry) ? record(entry).values : baseValues(entry);
    }

    // The values a modified record had before its first logged change.
    Values originalOf(const Record& row) const {
        return row.original ? *row.original : baseValues(row.base);
    }

    View activeValues() const {
        if (calculating) {
            return calcSource;
        }
        if (readOverride) {
            return readOverride;
        }
        if (editing()) {
            return View{&buffer, kNoBase};
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
        materializeBaseOrder();
        for (const std::uint32_t entry : rows) {
            if (isOwn(entry)) {
                Record& row = record(entry);
                if (row.status != RowStatus::Inserted) {
                    keys.push_back(&row.order);
                }
            } else {
                keys.push_back(&baseOrder[entry]);
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
                if (statusOf(rows[i - 1]) != RowStatus::Inserted) {
                    low = orderOf(rows[i - 1]);
                    break;
                }
            }
            for (std::size_t i = position; i < rows.size(); ++i) {
                if (statusOf(rows[i]) != RowStatus::Inserted) {
                    high = orderOf(rows[i]);
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

    // Gives the current record values of its own before they change.
    Record& detachCurrent() {
        std::uint32_t& entry = rows[static_cast<std::size_t>(current)];
        if (!isOwn(entry)) {
            auto made = std::make_unique<Record>();
            made->base = entry;
            made->order = baseOrderOf(entry);
            made->id = std::uint64_t{entry} + 1;
            entry = newRecord(std::move(made));
        }
        return record(entry);
    }

    void storeBuffer() {
        if (self.m_state == TDataSetState::dsInsert) {
            auto row = std::make_unique<Record>();
            row->values = std::move(buffer);
            row->id = nextId++;
            const std::size_t position = std::min(insertAt, rows.size());
            if (self.LogChanges) {
                row->status = RowStatus::Inserted;
                row->changeSeq = nextSeq++;
            } else {
                row->order = orderKeyAt(position);
            }
            const std::uint32_t entry = newRecord(std::move(row));
            rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(position), entry);
            current = static_cast<int>(position);
        } else {
            Record& row = detachCurrent();
            if (row.status == RowStatus::Unmodified) {
                if (self.LogChanges) {
                    // A row still as loaded has its original in the base data.
                    if (row.base == kNoBase) {
                        row.original = std::make_unique<Values>(std::move(row.values));
                    }
                    row.status = RowStatus::Modified;
                    row.changeSeq = nextSeq++;
                } else {
                    // Changed without logging: the loaded row no longer says
                    // what the record was.
                    row.base = kNoBase;
                }
            }
            row.values = std::move(buffer);
        }
        buffer.clear();
        bufferModified = false;
        bof = false;
        eof = false;
    }

    // Checks the packet's fields against the set's and gives the packet
    // column of every stored field.
    std::vector<std::size_t> matchColumns(const std::vector<FieldDef>& packetFields) {
        std::unordered_map<std::string, std::size_t> packetColumns;
        packetColumns.reserve(packetFields.size());
        for (std::size_t i = 0; i < packetFields.size(); ++i) {
            packetColumns.emplace(upperName(packetFields[i].name), i);
        }
        std::vector<std::size_t> sources(static_cast<std::size_t>(storedCount));
        for (const auto& field : self.m_fields) {
            if (field->m_slotCalculated) {
                continue;
            }
            const auto found = packetColumns.find(upperName(field->FieldName()));
            if (found == packetColumns.end()) {
                throw EDatabaseError(prefixed("Field '" + field->FieldName() + "' not found"));
            }
            const FieldType packetType = packetFields[found->second].type;
            if (!fieldTypesCompatible(field->DataType(), packetType)) {
                throw EDatabaseError(prefixed("Type mismatch for field '" + field->FieldName() +
                                              "', expecting: " + fieldTypeName(field->DataType()) +
                                              " actual: " + fieldTypeName(packetType)));
            }
            sources[static_cast<std::size_t>(field->m_slot)] = found->second;
        }
        return sources;
    }

    std::vector<FieldType> storedTypes() const {
        std::vector<FieldType> types(static_cast<std::size_t>(storedCount));
        for (const auto& field : self.m_fields) {
            if (!field->m_slotCalculated) {
                types[static_cast<std::size_t>(field->m_slot)] = field->DataType();
            }
        }
        return types;
    }

    [[noreturn]] void raiseWidth(std::size_t row, std::size_t values, std::size_t width) const {
        throw EDatabaseError(prefixed("Row " + std::to_string(row + 1) + " of the packet has " +
                                      std::to_string(values) + " values for " +
                                      std::to_string(width) + " fields"));
    }

    // Fills the set from a packet by columns, keeping and sharing it: a load
    // costs one small entry per row.
    void load(std::shared_ptr<const ColumnPacket> shared) {
        if (self.Active()) {
            self.Close();
        }
        prepareLayout();
        const ColumnPacket& packet = *shared;
        const std::vector<std::size_t> sources = matchColumns(packet.fields);
        if (packet.columns.size() != packet.fields.size()) {
            raiseWidth(0, packet.columns.size(), packet.fields.size());
        }
        const std::size_t count = packet.RowCount();
        for (const PacketColumn& column : packet.columns) {
            if (column.Size() != count) {
                raiseWidth(std::min(column.Size(), count), 0, packet.fields.size());
            }
        }
        if (count >= kOwn) {
            throw EDatabaseError(prefixed("Too many records"));
        }
        std::vector<const PacketColumn*> columns;
        columns.reserve(sources.size());
        for (const std::size_t source : sources) {
            columns.push_back(&packet.columns[source]);
        }
        adopt(std::move(shared), std::move(columns), count);
    }

    // Fills the set from a packet by rows: its cells are stored by column, as
    // their fields store them.
    void load(const DataPacket& packet) {
        if (self.Active()) {
            self.Close();
        }
        prepareLayout();
        const std::vector<std::size_t> sources = matchColumns(packet.fields);
        const std::vector<FieldType> types = storedTypes();
        const std::size_t width = packet.fields.size();
        if (packet.rows.size() >= kOwn) {
            throw EDatabaseError(prefixed("Too many records"));
        }
        auto built = std::make_shared<ColumnPacket>();
        built->fields = storedDefinitions();
        built->columns.reserve(sources.size());
        for (std::size_t slot = 0; slot < sources.size(); ++slot) {
            built->columns.emplace_back(types[slot]).Reserve(packet.rows.size());
        }
        for (std::size_t r = 0; r < packet.rows.size(); ++r) {
            const Values& source = packet.rows[r];
            if (source.size() != width) {
                raiseWidth(r, source.size(), width);
            }
            for (std::size_t slot = 0; slot < sources.size(); ++slot) {
                const Variant& cell = source[sources[slot]];
                PacketColumn& column = built->columns[slot];
                if (cell.IsNull() || cell.Type() == naturalVarType(types[slot])) {
                    column.Append(cell);
                    continue;
                }
                try {
                    column.Append(valueForField(cell, types[slot]));
                } catch (const Exception& error) {
                    throw EDatabaseError(prefixed("Invalid value for field '" +
                                                  built->fields[slot].name + "' in row " +
                                                  std::to_string(r + 1) + ": " + error.what()));
                }
            }
        }
        built->SetRowCountWithoutFields(packet.rows.size());
        built->ShrinkToFit();
        std::vector<const PacketColumn*> columns;
        columns.reserve(sources.size());
        for (const PacketColumn& column : built->columns) {
            columns.push_back(&column);
        }
        adopt(std::move(built), std::move(columns), packet.rows.size());
    }

    void adopt(std::shared_ptr<const ColumnPacket> shared, std::vector<const PacketColumn*> columns,
               std::size_t count) {
        clearContents();
        base = std::move(shared);
        baseColumns = std::move(columns);
        slotTypes = storedTypes();
        baseCount = static_cast<std::uint32_t>(count);
        nextId = std::uint64_t{baseCount} + 1;
        rows.resize(count);
        for (std::uint32_t r = 0; r < baseCount; ++r) {
            rows[r] = r;
        }
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
    if (auto columns = packet.ColumnsPtr()) {
        m_impl->load(std::move(columns));
        return;
    }
    m_impl->load(packet.AsPacket());
}

void TClientDataSet::LoadFromPacket(const DataPacket& packet) {
    m_impl->load(packet);
}

void TClientDataSet::LoadFromPacket(DataPacket&& packet) {
    const DataPacket source = std::move(packet);
    m_impl->load(source);
}

DataPacket TClientDataSet::Data() const {
    DataPacket packet;
    packet.fields = m_impl->storedDefinitions();
    packet.rows.reserve(m_impl->rows.size());
    for (const std::uint32_t entry : m_impl->rows) {
        packet.rows.push_back(m_impl->valuesOf(entry));
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
    auto& impl = *m_impl;
    auto& rows = impl.rows;
    const auto index = static_cast<std::size_t>(impl.current);
    const std::uint32_t removed = rows[index];
    rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(index));
    if (LogChanges && impl.statusOf(removed) != RowStatus::Inserted) {
        Impl::DeletedRow gone;
        gone.order = impl.orderOf(removed);
        gone.changeSeq = impl.nextSeq++;
        gone.id = impl.idOf(removed);
        if (!Impl::isOwn(removed)) {
            gone.base = removed;
        } else {
            Impl::Record& row = impl.record(removed);
            if (row.status == RowStatus::Unmodified) {
                gone.original = std::move(row.values);
            } else if (row.original) {
                gone.original = std::move(*row.original);
            } else {
                gone.base = row.base;
            }
        }
        impl.deleted.push_back(std::move(gone));
    }
    if (Impl::isOwn(removed)) {
        impl.freeRecord(removed);
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
    for (const auto& row : m_impl->records) {
        if (row && row->status != RowStatus::Unmodified) {
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
    for (std::size_t i = 0; i < m_impl->records.size(); ++i) {
        const auto& row = m_impl->records[i];
        if (row && row->status != RowStatus::Unmodified) {
            changes.push_back({row->changeSeq, false, i});
        }
    }
    for (std::size_t i = 0; i < m_impl->deleted.size(); ++i) {
        changes.push_back({m_impl->deleted[i].changeSeq, true, i});
    }
    std::sort(changes.begin(), changes.end(),
              [](const Change& a, const Change& b) { return a.seq < b.seq; });
    for (const Change& change : changes) {
        if (change.isDeleted) {
            const Impl::DeletedRow& gone = m_impl->deleted[change.index];
            delta.rows.push_back(gone.base != Impl::kNoBase ? m_impl->baseValues(gone.base)
                                                            : gone.original);
            delta.rowStatus.push_back(RowStatus::Deleted);
            continue;
        }
        const Impl::Record& row = *m_impl->records[change.index];
        if (row.status == RowStatus::Modified) {
            delta.rows.push_back(m_impl->originalOf(row));
            delta.rowStatus.push_back(RowStatus::Unmodified);
        }
        delta.rows.push_back(row.values);
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
        oldIndex >= 0 ? impl.idOf(impl.rows[static_cast<std::size_t>(oldIndex)]) : 0;

    std::vector<std::uint32_t> restored;
    restored.reserve(impl.rows.size() + impl.deleted.size());
    for (const std::uint32_t entry : impl.rows) {
        if (!Impl::isOwn(entry)) {
            restored.push_back(entry);
            continue;
        }
        Impl::Record& row = impl.record(entry);
        if (row.status == RowStatus::Inserted) {
            impl.freeRecord(entry);
            continue;
        }
        if (row.status == RowStatus::Modified) {
            if (!row.original) {
                // Back to the loaded row it was.
                const std::uint32_t loaded = row.base;
                impl.setBaseOrder(loaded, row.order);
                impl.freeRecord(entry);
                restored.push_back(loaded);
                continue;
            }
            row.values = std::move(*row.original);
            row.original.reset();
        }
        row.status = RowStatus::Unmodified;
        row.changeSeq = 0;
        restored.push_back(entry);
    }
    for (auto& gone : impl.deleted) {
        if (gone.base != Impl::kNoBase) {
            impl.setBaseOrder(gone.base, gone.order);
            restored.push_back(gone.base);
            continue;
        }
        auto row = std::make_unique<Impl::Record>();
        row->values = std::move(gone.original);
        row->order = gone.order;
        row->id = gone.id;
        restored.push_back(impl.newRecord(std::move(row)));
    }
    std::stable_sort(restored.begin(), restored.end(), [&impl](std::uint32_t a, std::uint32_t b) {
        return impl.orderOf(a) < impl.orderOf(b);
    });
    impl.rows = std::move(restored);
    impl.deleted.clear();

    impl.current = -1;
    for (std::size_t i = 0; i < impl.rows.size(); ++i) {
        if (impl.idOf(impl.rows[i]) == currentId) {
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
    for (auto& row : m_impl->records) {
        if (row) {
            row->original.reset();
            row->base = Impl::kNoBase;
            row->status = RowStatus::Unmodified;
            row->changeSeq = 0;
        }
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
    return values ? m_impl->cellOf(values, static_cast<std::size_t>(field.m_slot)) : Variant{};
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
