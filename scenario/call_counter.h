#pragma once

#include <map>
#include <memory>
#include <string>

#include "host/net/net_connection.h"

namespace scenario {

// Remote calls per method name, as the screen made them.
class CallCounts {
public:
    void add(const std::string& method) { ++m_counts[method]; }
    int count(const std::string& method) const {
        const auto found = m_counts.find(method);
        return found == m_counts.end() ? 0 : found->second;
    }
    void reset() { m_counts.clear(); }

private:
    std::map<std::string, int> m_counts;
};

// Forwards every call to the real server object after counting it; a call
// that fails still counts, since the screen made it.
class CountingCancAprovEnc : public host::IRdmCancAprovEnc {
public:
    // Raises host::Exception when `inner` is not a cancellation server object.
    CountingCancAprovEnc(std::unique_ptr<host::IAppServer> inner, CallCounts& counts);

    void CheckConnection() override;
    host::Variant GetEncomenda(const std::string& CDFILIAL, std::string& NrIni, std::string& NrFin,
                               std::string& TodosNr, host::TDateTime& DtIni, host::TDateTime& DtFin,
                               std::string& TodosDt, std::string& ListaVendedor,
                               std::string& TodosVendedor, std::string& ListaCliente,
                               std::string& TodosCliente) override;
    host::Variant GetItemEnc(const std::string& CDFILIAL, const std::string& NRORCAEVENTO,
                             const std::string& NRSEQORCAEVE) override;
    host::Variant GetEncomendaFilha(const std::string& CDFILIAL,
                                    const std::string& NRORCAEVENTO) override;
    host::Variant CancAprovaEnc(std::string& CDFILIAL, std::string& NRORCAEVENTO,
                                std::string& NRSEQORCAEVE, const std::string& CDJUSTEXCHIS,
                                const host::Variant& TXOBSJUSTORC,
                                const std::string& CDOPERADOR) override;
    host::Variant SetEncomenda(const host::Variant& Delta) override;
    host::Variant PreviewCancAprovaEnc(const std::string& CDFILIAL, const std::string& NRORCAEVENTO,
                                       const std::string& NRSEQORCAEVE) override;

private:
    std::unique_ptr<host::IAppServer> m_owned;
    host::IRdmCancAprovEnc& m_inner;
    CallCounts& m_counts;
};

// Registers, for "ORE06100.rdmCancAprovEnc", the gRPC transport wrapped so
// every connection the screen makes counts its calls in `counts`.
void countCancAprovEncCalls(CallCounts& counts);

}  // namespace scenario
