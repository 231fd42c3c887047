#include "desktop/standard_icons.h"

#include <QHash>
#include <QStyle>

namespace desktop {

QIcon iconForCommand(const QString& hint, const QStyle& style) {
    static const QHash<QString, QStyle::StandardPixmap> pictures = {
        {QStringLiteral("Incluir"), QStyle::SP_FileIcon},
        {QStringLiteral("Excluir"), QStyle::SP_TrashIcon},
        {QStringLiteral("Pesquisar"), QStyle::SP_FileDialogContentsView},
        {QStringLiteral("Alterar"), QStyle::SP_FileDialogDetailedView},
        {QStringLiteral("Verificar"), QStyle::SP_BrowserReload},
        {QStringLiteral("Cancelar"), QStyle::SP_DialogCancelButton},
        {QStringLiteral("Confirmar"), QStyle::SP_DialogApplyButton},
        {QStringLiteral("Confirma"), QStyle::SP_DialogApplyButton},
        {QStringLiteral("Imprimir"), QStyle::SP_DriveFDIcon},
        {QStringLiteral("Ajuda"), QStyle::SP_DialogHelpButton},
        {QStringLiteral("Fechar"), QStyle::SP_DialogCloseButton},
        {QStringLiteral("Filtrar"), QStyle::SP_FileDialogListView},
        {QStringLiteral("Desfazer"), QStyle::SP_DialogResetButton},
        {QStringLiteral("Opções"), QStyle::SP_DialogSaveButton},
        {QStringLiteral("Salvar"), QStyle::SP_DialogSaveButton},
        {QStringLiteral("Exportar"), QStyle::SP_DialogSaveButton},
        {QStringLiteral("Primeiro"), QStyle::SP_MediaSkipBackward},
        {QStringLiteral("Anterior"), QStyle::SP_MediaSeekBackward},
        {QStringLiteral("Próximo"), QStyle::SP_MediaSeekForward},
        {QStringLiteral("Último"), QStyle::SP_MediaSkipForward},
    };
    const auto found = pictures.constFind(hint.trimmed());
    if (found == pictures.constEnd()) {
        return {};
    }
    return style.standardIcon(*found);
}

}  // namespace desktop
