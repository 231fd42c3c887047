#include "host/services/pick_list.h"

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
    std::string result;
    const int current = rows.RecNo();
    for (const int index : *chosen) {
        rows.SetRecNo(index + 1);
        if (!result.empty()) {
            result += ',';
        }
        result += key.AsString();
    }
    if (current > 0) {
        rows.SetRecNo(current);
    }
    list = result;
}

}  // namespace host::Pesqlista
