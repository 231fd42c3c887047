#pragma once

#include <string>
#include <string_view>

// Every text the order server sends to an operator. Refusal keys travel as they
// are (the screen looks them up in its own message table); the other texts are
// shown to the operator unchanged.
namespace ore::server::messages {

// Keys of refusals the screen translates; the detail after '|' is the document.
inline constexpr std::string_view paidReceivableKey = "N_PARAM_CONTARECBAIXADA";
inline constexpr std::string_view bankSlipSentKey = "N_PARAM_BOLETO_ENVIADO";

// Keys under which the history records the other refusals of a
// cancellation; the screen's own keys where it has one for the case.
inline constexpr std::string_view orderNotFoundKey = "ENCO_N_ENCONTRADA";
inline constexpr std::string_view orderNotApprovedKey = "ENCO_N_APROVADA";  // |status
inline constexpr std::string_view parentWithChildOrdersKey = "ENCO_FILHA";
inline constexpr std::string_view justificationNotRegisteredKey = "JUST_N_CAD";  // |code

inline constexpr std::string_view orderNotFound = "Encomenda não encontrada.";
inline constexpr std::string_view orderNotApproved =
    "A aprovação da encomenda não pode ser cancelada, pois a encomenda não está aprovada.";
inline constexpr std::string_view changedByAnotherUser = "Registro alterado por outro usuário.";
inline constexpr std::string_view statusChangeRefused =
    "A situação da encomenda só pode ser alterada pelo cancelamento da aprovação.";
inline constexpr std::string_view insertRefused = "Não é permitido incluir encomendas.";
inline constexpr std::string_view deleteRefusedSalesOrders =
    "A encomenda não pode ser excluída, pois existe(m) pedido(s) gerado(s) por ela.";
inline constexpr std::string_view deleteRefusedProductionOrders =
    "A encomenda não pode ser excluída, pois existe(m) ordem(ns) de produção ligada(s) a ela.";
inline constexpr std::string_view deleteRefusedReceivables =
    "A encomenda não pode ser excluída, pois existe(m) conta(s) a receber ligada(s) a ela.";
inline constexpr std::string_view emptyDelta = "Nenhuma alteração foi enviada.";
inline constexpr std::string_view databaseBusy =
    "O banco de dados está ocupado por outro usuário. Tente novamente.";
inline constexpr std::string_view databaseFailure =
    "Falha no banco de dados do servidor de aplicação. Consulte o registro do servidor.";
inline constexpr std::string_view internalFailure =
    "Falha interna do servidor de aplicação. Consulte o registro do servidor.";

inline std::string refusal(std::string_view key, std::string_view detail) {
    return std::string(key) + "|" + std::string(detail);
}

inline std::string fieldNotUpdatable(std::string_view field) {
    return "O campo " + std::string(field) + " da encomenda não pode ser alterado.";
}

inline std::string deltaMissingField(std::string_view field) {
    return "Pacote de alterações inválido: falta o campo " + std::string(field) + ".";
}

inline std::string deltaMalformed(std::string_view why) {
    return "Pacote de alterações inválido: " + std::string(why);
}

inline std::string emptyCode(std::string_view list) {
    return "Lista de " + std::string(list) + " inválida: há um código vazio.";
}

inline std::string codeTooLong(std::string_view list, std::string_view code, int width) {
    return "Lista de " + std::string(list) + " inválida: o código \"" + std::string(code) +
           "\" tem mais de " + std::to_string(width) + " caracteres.";
}

inline std::string tooManyCodes(std::string_view list, int limit) {
    return "Lista de " + std::string(list) + " com mais de " + std::to_string(limit) + " códigos.";
}

inline std::string keyFieldTooLong(std::string_view field, int width) {
    return "O campo " + std::string(field) + " tem mais de " + std::to_string(width) +
           " caracteres.";
}

inline constexpr std::string_view serverBusy =
    "O servidor de aplicação está sobrecarregado. Tente novamente em instantes.";
inline constexpr std::string_view callTimedOut =
    "O prazo da chamada terminou antes da conclusão; nada foi gravado.";
inline constexpr std::string_view callCancelled =
    "A chamada foi cancelada antes da conclusão; nada foi gravado.";
inline constexpr std::string_view serverStopping =
    "O servidor de aplicação está sendo encerrado; nada foi gravado. Tente novamente.";
inline constexpr std::string_view databaseUnreachable =
    "O banco de dados do servidor de aplicação não está acessível. Tente novamente em instantes.";

inline std::string textNotUtf8(std::string_view field) {
    return "O campo " + std::string(field) + " não é um texto UTF-8 válido.";
}

inline std::string textWithNul(std::string_view field) {
    return "O campo " + std::string(field) + " contém o caractere nulo.";
}

inline std::string invalidDate(std::string_view field) {
    return "O campo " + std::string(field) + " não contém uma data válida (anos de 1 a 9999).";
}

// The text of the screen's JUST_N_CAD.
inline constexpr std::string_view justificationNotRegistered =
    "Justificativa de exclusão do histórico não cadastrada.";
// The text of the screen's ENCO_FILHA.
inline constexpr std::string_view parentWithChildOrders =
    "Aprovação da encomenda não pode ser cancelada, pois existe encomenda filha. Operação "
    "Bloqueada.";
inline constexpr std::string_view deleteRefusedChildOrders =
    "A encomenda não pode ser excluída, pois existe(m) encomenda(s) filha(s).";
inline constexpr std::string_view deleteRefusedNotApproved =
    "A encomenda não pode ser excluída, pois não está aprovada nem fechada.";

inline std::string invalidNumber(std::string_view field) {
    return "O campo " + std::string(field) + " não contém um número válido.";
}

inline std::string deltaFieldWrongType(std::string_view field) {
    return "Pacote de alterações inválido: o campo " + std::string(field) + " tem o tipo errado.";
}

}  // namespace ore::server::messages

// Sign-on and sessions. A wrong code, a wrong password and an inactive
// operator read the same, so the text tells a guesser nothing.
namespace ore::server::messages {

inline constexpr std::string_view signOnRefused = "Operador ou senha inválidos.";
inline constexpr std::string_view sessionMissing =
    "Sessão não iniciada. Entre com seu operador e senha.";
inline constexpr std::string_view sessionInvalid = "Sessão inválida. Entre novamente.";
inline constexpr std::string_view sessionExpired = "Sessão expirada. Entre novamente.";

inline std::string signOnWait(long long seconds) {
    return "Muitas tentativas de entrada sem sucesso para este operador. Tente novamente em " +
           std::to_string(seconds) + (seconds == 1 ? " segundo." : " segundos.");
}

inline std::string branchNotAllowed(std::string_view branch) {
    return "Operador sem permissão para trabalhar na filial " + std::string(branch) + ".";
}

// The history's key of a cancellation refused by authorization; the detail
// is the branch.
inline constexpr std::string_view cancelNotAllowedKey = "OPER_SEM_PERM_CANC";

inline std::string cancelNotAllowed(std::string_view branch) {
    return "Operador sem permissão para cancelar aprovações na filial " + std::string(branch) + ".";
}

}  // namespace ore::server::messages
