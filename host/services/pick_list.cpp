#include "host/services/pick_list.h"

#include <algorithm>
#include <sstream>

#include "host/data/exceptions.h"
#include "host/ui/form.h"

namespace host::Pesqlista {

namespace {

std::vector<std::string> splitCodes(const std::string& list) {
    std::vector<std::string> codes;
    std::stringstream stream(list);
    std::string code;
    while (std::getline(stream, code, ',')) {
        if (!code.empty()) {
            codes.push_back(code);
        }
    }
    return codes;
}

}  // namespace

void PesquisaLista(TDataSource* source, const std::string& keyField, const std::string& title,
                   bool /*flag*/, std::string& list) {
    if (source == nullptr || source->DataSet == nullptr) {
        throw Exception("PesquisaLista: data source without data set");
    }
    TClientDataSet& rows = *source->DataSet;
    const TField& key = rows.FieldByName(keyField);

    PickListRequest request;
    request.title = title;
    request.rows = &rows;
    request.keyField = keyField;
    request.multiple = true;
    request.preselected = splitCodes(list);

    const auto chosen = Application().Platform().PickList(request);
    if (!chosen) {
        return;
    }
    // Codes come in the list's own order, whatever order they were ticked in.
    std::vector<int> indexes = *chosen;
    std::sort(indexes.begin(), indexes.end());
    std::string result;
    for (const int index : indexes) {
        if (!result.empty()) {
            result += ',';
        }
        result += key.ValueAt(index + 1).AsString();
    }
    list = result;
}

}  // namespace host::Pesqlista
