#include "host/screens/branch_picker.h"

#include "host/screens/form_parts.h"

namespace host {

TADOIBQuery* MakeBranchQuery(TForm& form) {
    TADOIBQuery* query = form.Make<TADOIBQuery>("qryFilial");
    query->SetSQL({"SELECT CDFILIAL, NMFILIAL", "FROM FILIAL",
                   "WHERE CDFILIAL = :P_CDFILIAL OR :P_TCDFILIAL = 'T'", "ORDER BY CDFILIAL"});
    query->DataSet().AddField({"CDFILIAL", FieldType::String, 4}).DisplayLabel = "Código";
    query->DataSet().AddField({"NMFILIAL", FieldType::String, 30}).DisplayLabel = "Nome";
    return query;
}

TBranchPicker MakeBranchPicker(TForm& form, TWinControl* parent, TDataSource* branches,
                               const TBranchPickerPlace& place) {
    TBranchPicker picker;
    picker.lblFilial =
        makeLabel(&form, "lblFilial", parent, "Filial", place.Left, place.Top + 3, 40);

    picker.edtCdFilial = form.Make<TEdit>("edtCdFilial", parent);
    picker.edtCdFilial->SetBounds(place.Left + 44, place.Top, 48, 21);
    picker.edtCdFilial->MaxLength = 4;
    picker.edtCdFilial->SetColor(TColor::clInfoBk);
    picker.edtCdFilial->TabOrder = place.CodeTabOrder;
    picker.lblFilial->FocusControl = picker.edtCdFilial;

    picker.btnFilial = form.Make<TBtnPesquisa>("btnFilial", parent);
    picker.btnFilial->SetBounds(place.Left + 94, place.Top, 21, 21);
    picker.btnFilial->Associate = picker.edtCdFilial;
    picker.btnFilial->Title = "Empresa";
    picker.btnFilial->DataSource = branches;
    picker.btnFilial->EmptyError = "Não há empresa cadastrada.";
    picker.btnFilial->SetHint("Pesquisar");

    picker.edtNmFilial = form.Make<TEdit>("edtNmFilial", parent);
    picker.edtNmFilial->SetBounds(place.Left + 118, place.Top, place.NameWidth, 21);
    picker.edtNmFilial->SetEnabled(false);
    picker.edtNmFilial->SetColor(TColor::clBtnFace);
    return picker;
}

}  // namespace host
