#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/data/client_data_set.h"
#include "host/data/variant.h"
#include "host/sql/database.h"
#include "host/ui/controls.h"

namespace host {

// The host's general data module: the shared-database connection that the
// lookup queries of every module use unless told otherwise.
class TDtmDBGeral {
public:
    // Opens the database the session names (see sql::Database::open); an
    // earlier connection is closed first. Raises sql::DatabaseError.
    void Connect(const std::string& target);
    void Disconnect();
    bool Connected() const { return m_database != nullptr; }
    const std::string& Target() const { return m_target; }
    // Null while not connected.
    sql::Database* Database() const { return m_database.get(); }

private:
    std::unique_ptr<sql::Database> m_database;
    std::string m_target;
};

// The process-wide general data module.
TDtmDBGeral& dtmDBGeral();

// A named parameter of a query, written :NAME in its SQL.
class TParam {
public:
    explicit TParam(std::string name) : m_name(std::move(name)) {}
    const std::string& Name() const { return m_name; }
    void SetAsString(const std::string& text) { m_value = Variant(text); }
    std::string AsString() const { return m_value.AsString(); }
    void SetValue(const Variant& value) { m_value = value; }
    const Variant& Value() const { return m_value; }
    void Clear() { m_value = Variant(); }

private:
    std::string m_name;
    Variant m_value;
};

// The host's read-only lookup query: SQL text as lines with :P_NAME
// parameters, opened on the shared database into an in-memory data set.
class TADOIBQuery : public TComponent {
public:
    explicit TADOIBQuery(std::string name);
    const char* ClassName() const override { return "TADOIBQuery"; }

    const std::vector<std::string>& SQL() const { return m_sql; }
    // Closes the query and rebuilds the parameter list from the placeholders
    // (a name used twice is one parameter; every value starts null).
    void SetSQL(std::vector<std::string> lines);
    // The lines joined by line breaks, as the statement runs.
    std::string SQLText() const;

    const std::vector<TParam>& Params() const { return m_params; }
    // Raises EDatabaseError "Parameter 'X' not found"; names compare without
    // regard to case.
    TParam& ParamByName(std::string_view name);

    // Where the query runs; null takes dtmDBGeral().Database() at Open.
    sql::Database* Database = nullptr;

    // Runs the statement with every parameter bound and loads the rows: into
    // the fields the form definition added (by name; a missing column raises
    // the data set's field-not-found error and the query stays closed), or,
    // when none were added, into fields made from the result. Does nothing
    // when already open. Raises EDatabaseError without a connection and
    // sql::DatabaseError for an engine failure.
    void Open();
    void Close();
    bool Active() const { return m_dataSet.Active(); }
    // True when closed or without rows.
    bool IsEmpty() const { return !Active() || m_dataSet.IsEmpty(); }

    // The rows; read-only (edits raise "Cannot modify a read-only dataset").
    TClientDataSet& DataSet() { return m_dataSet; }
    const TClientDataSet& DataSet() const { return m_dataSet; }
    TField& FieldByName(std::string_view name) const { return m_dataSet.FieldByName(name); }

    void First() { m_dataSet.First(); }
    void Next() { m_dataSet.Next(); }
    bool Eof() const { return m_dataSet.Eof(); }
    int RecordCount() const { return Active() ? m_dataSet.RecordCount() : 0; }

private:
    std::vector<std::string> m_sql;
    std::vector<TParam> m_params;
    TClientDataSet m_dataSet;
};

}  // namespace host
