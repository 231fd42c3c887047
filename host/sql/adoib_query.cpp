#include "host/sql/adoib_query.h"

#include <cctype>

#include "host/data/exceptions.h"
#include "host/sql/statement_text.h"

namespace host {

namespace {

bool sameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) ==
               std::toupper(static_cast<unsigned char>(y));
    });
}

}  // namespace

void TDtmDBGeral::Connect(const std::string& target) {
    Disconnect();
    m_database = sql::Database::open(target);
    m_target = target;
}

void TDtmDBGeral::Disconnect() {
    m_database.reset();
    m_target.clear();
}

TDtmDBGeral& dtmDBGeral() {
    static TDtmDBGeral instance;
    return instance;
}

TADOIBQuery::TADOIBQuery(std::string name) : TComponent(name), m_dataSet(std::move(name)) {
    m_dataSet.ReadOnly = true;
    // Whoever opens the rows (a pick button over the query's data source) runs
    // the query.
    m_dataSet.Provider = [this](TClientDataSet&) { Open(); };
}

void TADOIBQuery::SetSQL(std::vector<std::string> lines) {
    Close();
    m_sql = std::move(lines);
    m_params.clear();
    for (std::string& name : sql::translatePlaceholders(SQLText(), sql::Engine::sqlite).names) {
        m_params.emplace_back(std::move(name));
    }
}

std::string TADOIBQuery::SQLText() const {
    std::string text;
    for (const std::string& line : m_sql) {
        if (!text.empty()) {
            text += '\n';
        }
        text += line;
    }
    return text;
}

TParam& TADOIBQuery::ParamByName(std::string_view name) {
    for (TParam& param : m_params) {
        if (sameName(param.Name(), name)) {
            return param;
        }
    }
    throw EDatabaseError("Parameter '" + std::string(name) + "' not found");
}

void TADOIBQuery::Open() {
    if (Active()) {
        return;
    }
    sql::Database* database = Database != nullptr ? Database : dtmDBGeral().Database();
    if (database == nullptr) {
        throw EDatabaseError(Name() + ": No database connection");
    }
    sql::Params params;
    params.reserve(m_params.size());
    for (const TParam& param : m_params) {
        params.emplace_back(param.Name(), param.Value());
    }
    const DataPacket packet = database->query(SQLText(), params);
    if (m_dataSet.Fields().empty()) {
        for (const FieldDef& field : packet.fields) {
            m_dataSet.AddField(field);
        }
    }
    m_dataSet.LoadFromPacket(packet);
}

void TADOIBQuery::Close() {
    m_dataSet.Close();
}

}  // namespace host
