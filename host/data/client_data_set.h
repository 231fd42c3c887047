#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/data/data_packet.h"
#include "host/data/variant.h"

namespace host {

class TClientDataSet;

enum class TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

// One column of a client data set: its definition, its display settings and
// access to its value in the current record.
class TField {
public:
    TField(TClientDataSet& owner, FieldDef def);

    const std::string& FieldName() const { return m_def.name; }
    FieldType DataType() const { return m_def.type; }
    int Size() const { return m_def.size; }
    const FieldDef& Definition() const { return m_def; }
    TClientDataSet& DataSet() const { return m_owner; }

    // Display settings, as the form definition sets them.
    std::string DisplayLabel;  // empty: the field name is shown
    bool Visible = true;
    std::string DisplayFormat;  // "#,##0.00" style, for float fields
    std::string EditMask;       // "!99.999;0;_" style, applied to the stored text for display
    bool Required = false;
    bool Calculated = false;
    int DisplayWidth = 0;  // characters; 0 takes the size

    // OnGetText(field, text, displayText): supplies the text shown for the value.
    std::function<void(TField&, std::string&, bool)> OnGetText;

    // Value of the current record; null when the set is empty or closed.
    Variant Value() const;
    void SetValue(const Variant& value);  // raises EDatabaseError unless editing or calculating
    bool IsNull() const;
    std::string AsString() const;  // fixed-width strings keep their width
    void SetAsString(const std::string& text);
    double AsFloat() const;
    void SetAsFloat(double value);
    std::int64_t AsInteger() const;
    void SetAsInteger(std::int64_t value);
    TDateTime AsDateTime() const;
    void SetAsDateTime(TDateTime value);
    void Clear();

    // Text shown to the operator: OnGetText when bound, else the value laid out
    // by DisplayFormat (floats, Brazilian separators), EditMask (strings) or
    // dd/mm/yyyy [hh:nn] (dates).
    std::string DisplayText() const;
    const std::string& GetDisplayLabel() const {
        return DisplayLabel.empty() ? m_def.name : DisplayLabel;
    }

    // Value and text of record recNo (1-based) without moving the current
    // record; a grid draws its rows with these. Null / "" outside 1..RecordCount.
    Variant ValueAt(int recNo) const;
    std::string DisplayTextAt(int recNo) const;

private:
    friend class TClientDataSet;
    TClientDataSet& m_owner;
    FieldDef m_def;
    // Where the value lives in a record while the set is open: the index among
    // the stored fields, or among the calculated ones.
    int m_slot = -1;
    bool m_slotCalculated = false;
};

// What a data-aware control hears from its data set.
enum class TDataEvent { deDataSetChange, deRecordChange, deDataSetScroll, deStateChange };

// In-memory data set loaded from data packets, with a change log. Fields are
// fixed by the form definition; a packet is loaded by field name.
class TClientDataSet {
public:
    explicit TClientDataSet(std::string name = {});
    TClientDataSet(const TClientDataSet&) = delete;
    TClientDataSet& operator=(const TClientDataSet&) = delete;
    ~TClientDataSet();

    const std::string& Name() const { return m_name; }

    // Field list, fixed while the set is closed.
    TField& AddField(FieldDef def);
    TField& AddCalculatedField(FieldDef def);
    const std::vector<std::unique_ptr<TField>>& Fields() const { return m_fields; }
    TField* FindField(std::string_view name) const;
    TField& FieldByName(std::string_view name) const;  // raises "Field 'X' not found"

    // Replaces the contents by the packet, matching fields by name, and opens
    // the set on its first row. A packet lacking a field raises EDatabaseError
    // ("<set>: Field 'X' not found") and leaves the set closed; extra packet
    // fields are ignored. Clears the change log. Fires AfterScroll once when
    // the packet has rows. The packet is shared, not copied; a null variant
    // closes the set.
    void SetData(const Variant& packet);
    void LoadFromPacket(const DataPacket& packet);  // copies the packet once
    void LoadFromPacket(DataPacket&& packet);
    // The current contents (change log applied) as a plain packet.
    DataPacket Data() const;

    // Opens the set: through Provider when one is set (a query fills its rows),
    // else as an empty set.
    void Open();
    std::function<void(TClientDataSet&)> Provider;
    void Close();
    bool Active() const { return m_state != TDataSetState::dsInactive; }
    TDataSetState State() const { return m_state; }

    // Moving posts a modified record being edited (and drops an untouched
    // one) first; AfterScroll fires only when the current record changes.
    void First();
    void Next();
    void Prior();
    void Last();
    bool Bof() const;
    bool Eof() const;
    int RecNo() const;  // 1-based; 0 when empty
    void SetRecNo(int recNo);
    int RecordCount() const;
    bool IsEmpty() const;

    void Edit();    // on an empty set starts a new record, as Insert
    void Insert();  // new empty record before the current one
    void Append();  // new empty record at the end
    // BeforePost, the Required check ("Field 'X' must have a value"), store,
    // AfterPost. Does nothing unless editing or inserting.
    void Post();
    void Cancel();  // AfterCancel; does nothing unless editing or inserting
    // Deletes the current record (dropping its edits, without AfterCancel), then
    // AfterDelete, then AfterScroll when a record is left. While inserting it
    // cancels the insert instead.
    void Delete();

    // Change log.
    int ChangeCount() const;
    DataPacket Delta() const;  // original and new values of modified rows, inserts, deletes
    void CancelUpdates();      // undoes every logged change; the current record stays current
    void MergeChangeLog();     // the logged changes become the base data
    bool LogChanges = true;
    // Edit, Insert, Append and Delete raise EDatabaseError "Cannot modify a
    // read-only dataset" (lookup queries).
    bool ReadOnly = false;

    // Events.
    std::function<void(TClientDataSet&)> BeforePost;
    std::function<void(TClientDataSet&)> AfterPost;
    std::function<void(TClientDataSet&)> AfterCancel;
    std::function<void(TClientDataSet&)> AfterDelete;
    std::function<void(TClientDataSet&)> AfterScroll;
    std::function<void(TClientDataSet&)> OnCalcFields;

    // Observers (data sources, grids). Returns a token for RemoveObserver.
    int AddObserver(std::function<void(TDataEvent)> observer);
    void RemoveObserver(int token);

    // Runs read with every field read (values, texts, calculated fields) seeing
    // record recNo (1-based), without moving the current record or firing any
    // event. Raises EDatabaseError when there is no such record.
    void ReadRecord(int recNo, const std::function<void()>& read) const;

    // Internal: record access for fields.
    Variant GetFieldValue(const TField& field) const;
    void SetFieldValue(const TField& field, const Variant& value);
    bool CanModify(const TField& field) const;

private:
    struct Impl;
    std::string m_name;
    std::vector<std::unique_ptr<TField>> m_fields;
    TDataSetState m_state = TDataSetState::dsInactive;
    std::unique_ptr<Impl> m_impl;
};

// Links data-aware controls to a data set, as the platform's data source does.
class TDataSource {
public:
    explicit TDataSource(std::string name = {}, TClientDataSet* dataSet = nullptr)
        : m_name(std::move(name)), DataSet(dataSet) {}
    const std::string& Name() const { return m_name; }
    TDataSetState State() const { return DataSet ? DataSet->State() : TDataSetState::dsInactive; }

private:
    std::string m_name;

public:
    TClientDataSet* DataSet = nullptr;
    std::function<void(TDataSource&)> OnStateChange;
};

}  // namespace host
