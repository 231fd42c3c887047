#pragma once

#include "host/data/client_data_set.h"
#include "host/ui/form.h"

namespace host {

// Small builders the screens' form definitions share.

// A fixed field of the data set with the label its grid shows.
TField& addField(TClientDataSet* dataSet, const char* name, FieldType type, int size,
                 const char* label = "", bool visible = true);

// A bold caption label, one line (16 pixels) high.
TLabel* makeLabel(TForm* form, const char* name, TWinControl* parent, const char* caption, int left,
                  int top, int width);

}  // namespace host
