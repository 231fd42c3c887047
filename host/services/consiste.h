#pragma once

#include <string>

#include "host/data/variant.h"
#include "host/ui/controls.h"

// Checks, adjustments and error reports that every screen uses.
namespace host::Consiste {

// Shows the text as an error; with abort true it then ends the running event
// silently (raises EAbort) and never returns.
void MensErro(const std::string& text, bool abort);

// True for a text made only of blanks.
bool EmptyString(const std::string& text);
// As above; for a date edit, date separators count as blanks too.
bool EmptyString(const TCustomEdit& edit);

// Brings a code to its stored width: a code made only of digits is padded on
// the left with zeros; other text is kept as typed without surrounding blanks;
// an empty text stays empty.
std::string Ajusta(const std::string& code, int width);

// Returns the usable data of a server answer. Good answers are packets,
// arrays or null; a text answer is a failure report and raises
// host::Exception with that text (when `raise` is false it returns null).
Variant CheckResultServ(const Variant& answer, bool raise, int kind);

// Rounds half away from zero to the given count of decimal places.
double RoundDec(double value, int decimals);

// Enables or disables every control inside the container (not the container).
void SetChildEnabled(TWinControl* container, bool enabled);

// The control after `from` in its form's tab order (nullptr when none).
TWinControl* SelectNextControl(TWinControl* from, bool goForward, bool checkTabStop,
                               bool checkParent);
// Focuses the first control inside the container that can take the focus.
void SelectFirstControl(TWinControl* container);

// Edit mask of a registration number for a person kind: "F" (CPF) or "J" (CNPJ).
std::string PictPess(const std::string& personKind);

}  // namespace host::Consiste
