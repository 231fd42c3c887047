#pragma once

#include "host/sql/adoib_query.h"
#include "host/ui/form.h"

namespace host {

// Where a screen puts its branch picker: the row's left edge (the label's),
// the top of its edits, the width of the name edit and the code's tab order.
struct TBranchPickerPlace {
    int Left = 0;
    int Top = 0;
    int NameWidth = 0;
    int CodeTabOrder = 0;
};

// The controls of a branch picker, left to right.
struct TBranchPicker {
    TLabel* lblFilial = nullptr;
    TEdit* edtCdFilial = nullptr;
    TBtnPesquisa* btnFilial = nullptr;
    TEdit* edtNmFilial = nullptr;
};

// The branch lookup qryFilial (code and name of one branch, or of all when
// :P_TCDFILIAL is 'T'), made on the form.
TADOIBQuery* MakeBranchQuery(TForm& form);

// Makes on `parent`, in one row from place.Left: the bold label "Filial"
// focusing the four-character code edit, the pick-list button "Empresa" over
// `branches`, and the disabled name edit. Binds no event.
TBranchPicker MakeBranchPicker(TForm& form, TWinControl* parent, TDataSource* branches,
                               const TBranchPickerPlace& place);

// The branch lookup of a screen that keeps it as qryFilial and dstFilial.
template <class Screen>
void MakeBranchLookup(Screen& screen) {
    screen.qryFilial = MakeBranchQuery(screen);
    screen.dstFilial = screen.MakeDataSource("dstFilial", &screen.qryFilial->DataSet());
}

// The branch picker of a screen that keeps the controls under their names
// (lblFilial, edtCdFilial, btnFilial, edtNmFilial) and the lookup source as
// dstFilial; binds the screen's edtCdFilialChange, edtCdFilialExit,
// btnFilialBeforePesq and btnFilialAfterPesq.
template <class Screen>
void MakeBranchPicker(Screen& screen, TWinControl* parent, const TBranchPickerPlace& place) {
    const TBranchPicker picker = MakeBranchPicker(screen, parent, screen.dstFilial, place);
    screen.lblFilial = picker.lblFilial;
    screen.edtCdFilial = picker.edtCdFilial;
    screen.btnFilial = picker.btnFilial;
    screen.edtNmFilial = picker.edtNmFilial;
    Screen* const owner = &screen;
    screen.edtCdFilial->OnChange = [owner](TObject* s) { owner->edtCdFilialChange(s); };
    screen.edtCdFilial->OnExit = [owner](TObject* s) { owner->edtCdFilialExit(s); };
    screen.btnFilial->OnBeforePesq = [owner](TObject* s, bool& c) {
        owner->btnFilialBeforePesq(s, c);
    };
    screen.btnFilial->OnAfterPesq = [owner](TObject* s) { owner->btnFilialAfterPesq(s); };
}

}  // namespace host
