#pragma once

#include <QIcon>
#include <QString>

class QStyle;

namespace desktop {

// The picture of a tool-bar or pick button, chosen by the command its hint
// names ("Incluir", "Pesquisar", "Filtrar", ...); a null icon when the style
// has none for it, and the button then shows its hint as text.
QIcon iconForCommand(const QString& hint, const QStyle& style);

}  // namespace desktop
