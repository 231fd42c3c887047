#pragma once

#include "cancellation_screen/filtro.h"

namespace Cli_ore06100 {

class TfrmCancAprovEnc;

// Module-level state of the screen's unit, reachable by the host.
extern TfrmCancAprovEnc* frmCancAprovEnc;  // the one screen while it exists
extern bool boStCriado;                    // a screen exists (created, not yet closed)
extern TFiltro Filtro;                     // the current filter criteria

// Opens the screen, or brings the existing one forward.
void CriaCancelamentoAprov();

void UnitInitialization();
void UnitFinalization();

}  // namespace Cli_ore06100
