#include "cancellation_screen/filtro.h"

namespace Cli_ore06100 {

void SetFiltroDefaults(TFiltro& filtro) {
    filtro.NrOrcaEven = {"", "", "T"};
    filtro.DtEntrega = {host::TDateTime{0}, host::TDateTime{0}, "T"};
    filtro.Vendedor = {"", "T"};
    filtro.Cliente = {"", "T"};
    filtro.IdSitu = "";
    filtro.TodosSitu = "T";
}

void ReleaseFiltro(TFiltro& filtro) {
    filtro.NrOrcaEven = {};
    filtro.DtEntrega = {};
    filtro.Vendedor = {};
    filtro.Cliente = {};
    filtro.IdSitu.clear();
    filtro.TodosSitu.clear();
}

}  // namespace Cli_ore06100
