#include "host/screens/form_parts.h"

namespace host {

TField& addField(TClientDataSet* dataSet, const char* name, FieldType type, int size,
                 const char* label, bool visible) {
    TField& field = dataSet->AddField({name, type, size});
    field.DisplayLabel = label;
    field.Visible = visible;
    return field;
}

TLabel* makeLabel(TForm* form, const char* name, TWinControl* parent, const char* caption, int left,
                  int top, int width) {
    TLabel* label = form->Make<TLabel>(name, parent);
    label->SetCaption(caption);
    label->SetBold(true);
    label->SetBounds(left, top, width, 16);
    return label;
}

}  // namespace host
