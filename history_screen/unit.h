#pragma once

namespace Cli_ore06110 {

class TfrmHistCancAprov;

// Module-level state of the screen's unit, reachable by the host.
extern TfrmHistCancAprov* frmHistCancAprov;  // the one screen while it exists
extern bool boStCriado;                      // a screen exists (created, not yet closed)

// Opens the screen, or brings the existing one forward.
void CriaHistCancAprov();

void UnitInitialization();
void UnitFinalization();

}  // namespace Cli_ore06110
