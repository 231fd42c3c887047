#include "host/services/package.h"

namespace host {

const char* const* FrameworkUnitNames(int& count) {
    // The framework initializes itself on first use, so its units carry no
    // routines of their own; they are listed to keep a module's table in the
    // order the host starts things.
    static const char* const names[] = {
        "Variants",     "Db",          "DBClient",   "Forms",         "Controls",
        "StdCtrls",     "ExtCtrls",    "ComCtrls",   "Grids",         "DBGrids",
        "Menus",        "Dialogs",     "Mor_msg",    "Consiste",      "Showavi",
        "Pesqlista",    "Morvane",     "Adoibquery", "Dtmdbgeral",    "Netconn",
        "Dateeditplus", "Btnpesquisa", "Buttonflat", "Frmpadraogrid", "Frmfiltropadr",
    };
    count = static_cast<int>(sizeof names / sizeof names[0]);
    return names;
}

}  // namespace host
