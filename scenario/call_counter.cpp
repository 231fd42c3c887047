#include "scenario/call_counter.h"

#include "host/data/exceptions.h"
#include "host/net/grpc_canc_aprov_enc.h"

namespace scenario {

namespace {

host::IRdmCancAprovEnc& asCancAprovEnc(host::IAppServer* server) {
    auto* typed = dynamic_cast<host::IRdmCancAprovEnc*>(server);
    if (typed == nullptr) {
        throw host::Exception(std::string("Servidor de aplicação incompatível: ") +
                              host::net::cancAprovEncServerName);
    }
    return *typed;
}

}  // namespace

CountingCancAprovEnc::CountingCancAprovEnc(std::unique_ptr<host::IAppServer> inner,
                                           CallCounts& counts)
    : m_owned(std::move(inner)), m_inner(asCancAprovEnc(m_owned.get())), m_counts(counts) {}

void CountingCancAprovEnc::CheckConnection() {
    m_inner.CheckConnection();
}

host::Variant CountingCancAprovEnc::GetEncomenda(const std::string& CDFILIAL, std::string& NrIni,
                                                 std::string& NrFin, std::string& TodosNr,
                                                 host::TDateTime& DtIni, host::TDateTime& DtFin,
                                                 std::string& TodosDt, std::string& ListaVendedor,
                                                 std::string& TodosVendedor,
                                                 std::string& ListaCliente,
                                                 std::string& TodosCliente) {
    m_counts.add("GetEncomenda");
    return m_inner.GetEncomenda(CDFILIAL, NrIni, NrFin, TodosNr, DtIni, DtFin, TodosDt,
                                ListaVendedor, TodosVendedor, ListaCliente, TodosCliente);
}

host::Variant CountingCancAprovEnc::GetItemEnc(const std::string& CDFILIAL,
                                               const std::string& NRORCAEVENTO,
                                               const std::string& NRSEQORCAEVE) {
    m_counts.add("GetItemEnc");
    return m_inner.GetItemEnc(CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE);
}

host::Variant CountingCancAprovEnc::GetEncomendaFilha(const std::string& CDFILIAL,
                                                      const std::string& NRORCAEVENTO) {
    m_counts.add("GetEncomendaFilha");
    return m_inner.GetEncomendaFilha(CDFILIAL, NRORCAEVENTO);
}

host::Variant CountingCancAprovEnc::CancAprovaEnc(std::string& CDFILIAL, std::string& NRORCAEVENTO,
                                                  std::string& NRSEQORCAEVE,
                                                  const std::string& CDJUSTEXCHIS,
                                                  const host::Variant& TXOBSJUSTORC,
                                                  const std::string& CDOPERADOR) {
    m_counts.add("CancAprovaEnc");
    return m_inner.CancAprovaEnc(CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, CDJUSTEXCHIS, TXOBSJUSTORC,
                                 CDOPERADOR);
}

host::Variant CountingCancAprovEnc::SetEncomenda(const host::Variant& Delta) {
    m_counts.add("SetEncomenda");
    return m_inner.SetEncomenda(Delta);
}

host::Variant CountingCancAprovEnc::PreviewCancAprovaEnc(const std::string& CDFILIAL,
                                                         const std::string& NRORCAEVENTO,
                                                         const std::string& NRSEQORCAEVE) {
    m_counts.add("PreviewCancAprovaEnc");
    return m_inner.PreviewCancAprovaEnc(CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE);
}

void countCancAprovEncCalls(CallCounts& counts) {
    const std::string name = host::net::cancAprovEncServerName;
    // Wraps whatever transport the host has for the server object: the gRPC
    // client, unless something registered another before.
    const host::TNetConnection::Factory inner = host::TNetConnection::Transport(name);
    host::TNetConnection::RegisterTransport(
        name, [inner, &counts](const std::string& address, int port) {
            return std::make_unique<CountingCancAprovEnc>(inner(address, port), counts);
        });
}

}  // namespace scenario
