#include "host/services/messages.h"

#include "host/ui/form.h"

namespace host {

std::string TMessages::Msg(const std::string& key) const {
    for (const std::string& line : Lines) {
        const auto bar = line.find('|');
        if (bar != std::string::npos && line.compare(0, bar, key) == 0 && bar == key.size()) {
            return line.substr(bar + 1);
        }
    }
    return key;
}

int TMessages::ShowMsg(const std::string& key, TMsgDlgType type, TMsgDlgButtons buttons,
                       int helpContext) const {
    return MessageDlg(Msg(key), type, buttons, helpContext);
}

int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons,
               int /*helpContext*/) {
    return Application().Platform().MessageDialog(text, type, buttons);
}

}  // namespace host
