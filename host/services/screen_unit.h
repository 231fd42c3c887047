#pragma once

#include "host/ui/form.h"

// What a screen's unit does the same way in every module: open its one
// screen, and start and end only once however often the host asks.
namespace host {

// Creates the unit's screen on first use (`created` is the unit's flag that
// one exists, cleared when it closes), then shows it in its normal state;
// the hourglass shows meanwhile and is put back on every way out.
template <typename Form>
void ShowUnitScreen(Form*& form, bool& created) {
    Application().SetCursor(TCursor::crHourGlass);
    try {
        if (!created) {
            form = Application().CreateForm<Form>();
            created = true;
        }
        form->Show();
        form->WindowState = TWindowState::wsNormal;
    } catch (...) {
        Application().SetCursor(TCursor::crDefault);
        throw;
    }
    Application().SetCursor(TCursor::crDefault);
}

// How often a unit was initialized and not yet finalized: only the first
// initialization and the last finalization do the unit's work.
class TUnitNesting {
public:
    bool Enter() { return m_count++ == 0; }
    bool Leave() { return --m_count == 0; }

private:
    int m_count = 0;
};

}  // namespace host
