#pragma once

#include <string>

#include "host/data/variant.h"

namespace Cli_ore06100 {

// Criteria with which the screen asks the server for its order list. Every
// criterion pairs its values with a Todos flag: "T" switches the criterion off
// (its values then empty or 0), the empty text makes its values apply.

struct TNrOrcaEven {
    std::string NrIni;  // first order number, in its 10-character code form
    std::string NrFin;
    std::string Todos;
};

struct TDtEntrega {
    host::TDateTime DtIni;  // first delivery day; 0 when not used
    host::TDateTime DtFin;
    std::string Todos;
};

struct TVendedor {
    std::string Lista;  // salesman codes as the pick list returns them
    std::string Todos;
};

struct TCliente {
    std::string Lista;  // customer codes as the pick list returns them
    std::string Todos;
};

struct TFiltro {
    TNrOrcaEven NrOrcaEven;
    TDtEntrega DtEntrega;
    TVendedor Vendedor;
    TCliente Cliente;
    std::string IdSitu;
    std::string TodosSitu;
};

// Every criterion unrestricted: what a newly created screen starts from.
void SetFiltroDefaults(TFiltro& filtro);
// Empties every text of the record (the unit's end).
void ReleaseFiltro(TFiltro& filtro);

}  // namespace Cli_ore06100
