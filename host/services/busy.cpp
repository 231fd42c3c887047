#include "host/services/busy.h"

namespace host::Showavi {

void ActiveShowAvi(TForm* /*mainForm*/, int kind) {
    Application().Platform().BusyOn(kind);
}

void DeactiveShowAvi() {
    Application().Platform().BusyOff();
}

}  // namespace host::Showavi
