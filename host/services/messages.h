#pragma once

#include <string>
#include <vector>

#include "host/ui/controls.h"

namespace host {

// A form's message table: lines made of a key, a vertical bar and a text.
class TMessages : public TComponent {
public:
    using TComponent::TComponent;
    const char* ClassName() const override { return "TMessages"; }

    std::vector<std::string> Lines;

    // The text of the line whose key equals `key` exactly; the key itself when
    // no line has it, so an operator never sees an empty message.
    std::string Msg(const std::string& key) const;
    // Shows the key's text; returns the button pressed (mrYes, mrNo, mrOk...).
    int ShowMsg(const std::string& key, TMsgDlgType type, TMsgDlgButtons buttons,
                int helpContext) const;
};

// The platform's own message dialog (not a message table's).
int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext);

}  // namespace host
