#pragma once

#include <string>

#include "host/data/client_data_set.h"

namespace host::Pesqlista {

// Modal multiple-choice list over the rows of the source's data set. `list`
// holds codes separated by commas (no blanks, no quotes): the rows it names
// come preselected, and on a choice it receives the chosen rows' keys. When
// the operator cancels, the list is left as it was.
void PesquisaLista(TDataSource* source, const std::string& keyField, const std::string& title,
                   bool flag, std::string& list);

}  // namespace host::Pesqlista
