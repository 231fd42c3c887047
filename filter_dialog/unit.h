#pragma once

#include <string>

namespace Cli_ore06101 {

class TfrmFiltroCancAprovEnc;

// Module-level state of the filter dialog's unit, shared by its instances.
extern TfrmFiltroCancAprovEnc* frmFiltroCancAprovEnc;  // the current dialog
extern bool boIdCriado;                                // a dialog instance exists
// Working code lists: what the pick lists last returned, or what the dialog
// loaded from Filtro. They become part of Filtro only on confirmation.
extern std::string stCliente;
extern std::string stVendedor;

// Opens the dialog modally and returns when it has closed.
void CriaFiltroCancAprovEnc();

void UnitInitialization();
void UnitFinalization();

}  // namespace Cli_ore06101
