#include "host/services/consiste.h"

#include <cmath>

#include "host/data/exceptions.h"
#include "host/ui/form.h"

namespace host::Consiste {

void MensErro(const std::string& text, bool abort) {
    Application().Platform().MessageDialog(text, TMsgDlgType::mtError, mbOK);
    if (abort) {
        throw EAbort();
    }
}

bool EmptyString(const std::string& text) {
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

bool EmptyString(const TCustomEdit& edit) {
    if (dynamic_cast<const TDateEditPlus*>(&edit) != nullptr) {
        return edit.Text().find_first_not_of(" \t\r\n/") == std::string::npos;
    }
    return EmptyString(edit.Text());
}

std::string Ajusta(const std::string& code, int width) {
    const auto first = code.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    const auto last = code.find_last_not_of(' ');
    std::string trimmed = code.substr(first, last - first + 1);
    const bool onlyDigits = trimmed.find_first_not_of("0123456789") == std::string::npos;
    if (onlyDigits && static_cast<int>(trimmed.size()) < width) {
        trimmed.insert(0, static_cast<std::size_t>(width) - trimmed.size(), '0');
    }
    return trimmed;
}

Variant CheckResultServ(const Variant& answer, bool raise, int /*kind*/) {
    if (answer.Type() == VarType::Text) {
        if (raise) {
            throw Exception(answer.AsString());
        }
        return {};
    }
    return answer;
}

double RoundDec(double value, int decimals) {
    const double scale = std::pow(10.0, decimals);
    // The epsilon keeps values such as 1.005, stored as 1.00499..., rounding as
    // they read.
    const double scaled = value * scale;
    const double rounded = std::round(scaled + (scaled >= 0 ? 1e-9 : -1e-9));
    return rounded / scale;
}

void SetChildEnabled(TWinControl* container, bool enabled) {
    for (TControl* child : container->Controls()) {
        child->SetEnabled(enabled);
    }
}

TWinControl* SelectNextControl(TWinControl* from, bool goForward, bool checkTabStop,
                               bool checkParent) {
    TForm* form = from->Form();
    return form ? form->FindNextControl(from, goForward, checkTabStop, checkParent) : nullptr;
}

void SelectFirstControl(TWinControl* container) {
    if (container == nullptr) {
        return;
    }
    for (TWinControl* child : container->TabOrderedChildren()) {
        if (child->CanFocus() && child->TabStop) {
            child->SetFocus();
            return;
        }
        if (!child->Controls().empty() && child->EnabledAndVisibleChain()) {
            for (TWinControl* inner : child->TabOrderedChildren()) {
                if (inner->CanFocus() && inner->TabStop) {
                    inner->SetFocus();
                    return;
                }
            }
        }
    }
}

std::string PictPess(const std::string& personKind) {
    if (personKind == "F") {
        return "000.000.000-00;0;_";
    }
    if (personKind == "J") {
        return "00.000.000/0000-00;0;_";
    }
    return {};
}

}  // namespace host::Consiste
