#pragma once

#include "host/ui/form.h"

// The host's busy animation, shown while a remote call runs.
namespace host::Showavi {

// Kinds of TShowAvi.
constexpr int aviEnviando = 1;
constexpr int aviCarregando = 6;

void ActiveShowAvi(TForm* mainForm, int kind);
void DeactiveShowAvi();

}  // namespace host::Showavi

namespace host {

// Keeps the busy animation on for a scope: Stop() ends it early, and the
// destructor ends it on every other way out, exceptions included.
class TShowAviGuard {
public:
    TShowAviGuard(TForm* mainForm, int kind) { Showavi::ActiveShowAvi(mainForm, kind); }
    TShowAviGuard(const TShowAviGuard&) = delete;
    TShowAviGuard& operator=(const TShowAviGuard&) = delete;
    ~TShowAviGuard() { Stop(); }
    void Stop() {
        if (m_active) {
            m_active = false;
            Showavi::DeactiveShowAvi();
        }
    }

private:
    bool m_active = true;
};

}  // namespace host
