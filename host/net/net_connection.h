#pragma once

#include <functional>
#include <memory>
#include <string>

#include "host/data/variant.h"
#include "host/ui/controls.h"

namespace host {

// Base of the application-server objects a connection hands out; each server
// object has its own interface derived from it.
class IAppServer {
public:
    virtual ~IAppServer() = default;
    // Raises host::Exception naming the address when the server cannot be
    // reached; a connection that raises connection errors calls it on connect.
    virtual void CheckConnection() {}
};

// The client side of "ORE06100.rdmCancAprovEnc": the six remote methods, with
// the argument order and by-reference arguments of the screen's calls. Every
// method returns the raw answer for CheckResultServ. A refusal raises
// host::Exception with exactly the server's text ("KEY" or "KEY|detail"); an
// unreachable server raises host::Exception naming the address.
class IRdmCancAprovEnc : public IAppServer {
public:
    virtual Variant GetEncomenda(const std::string& CDFILIAL, std::string& NrIni,
                                 std::string& NrFin, std::string& TodosNr, TDateTime& DtIni,
                                 TDateTime& DtFin, std::string& TodosDt, std::string& ListaVendedor,
                                 std::string& TodosVendedor, std::string& ListaCliente,
                                 std::string& TodosCliente) = 0;
    // [items packet, observation packet]
    virtual Variant GetItemEnc(const std::string& CDFILIAL, const std::string& NRORCAEVENTO,
                               const std::string& NRSEQORCAEVE) = 0;
    // Packet of child orders (NRORCAEVENTO, NRSEQORCAEVE).
    virtual Variant GetEncomendaFilha(const std::string& CDFILIAL,
                                      const std::string& NRORCAEVENTO) = 0;
    // [production orders packet or null, shipped orders or null]. The reason
    // (justification, observation or null, operator) travels after the keys so
    // the server records it with the cancellation.
    virtual Variant CancAprovaEnc(std::string& CDFILIAL, std::string& NRORCAEVENTO,
                                  std::string& NRSEQORCAEVE, const std::string& CDJUSTEXCHIS,
                                  const Variant& TXOBSJUSTORC, const std::string& CDOPERADOR) = 0;
    // Applies a delta packet of the order list.
    virtual Variant SetEncomenda(const Variant& Delta) = 0;
    // What cancelling the approval would meet; the server changes nothing.
    // [child orders, production orders, shipped sales orders, paid
    // receivables, bank slips sent: the blockers; receivables deleted, sales
    // orders deleted: the effects; the status it would set as text, empty
    // while blocked]. Element i is a packet for i < 7.
    virtual Variant PreviewCancAprovaEnc(const std::string& CDFILIAL,
                                         const std::string& NRORCAEVENTO,
                                         const std::string& NRSEQORCAEVE) = 0;
};

// Socket connection to a remote data module: server object name, host and
// port set before connecting. With ThrowException false a failed connection
// raises nothing; the calls then report the failure themselves.
class TNetConnection : public TComponent {
public:
    explicit TNetConnection(std::string name);
    ~TNetConnection() override;
    const char* ClassName() const override { return "TNetConnection"; }

    std::string ServerName;
    std::string Host = "127.0.0.1";
    int Port = 0;
    bool ThrowException = true;
    TNotifyEvent BeforeConnect;

    bool Connected() const { return m_connected; }
    void SetConnected(bool value);  // true runs BeforeConnect first

    // The server object; raises when the connection is closed.
    IAppServer& AppServer();
    template <class T>
    T& AppServerAs() {
        auto* typed = dynamic_cast<T*>(&AppServer());
        if (typed == nullptr) {
            throw Exception("Servidor de aplicação incompatível: " + ServerName);
        }
        return *typed;
    }

    // Transports, by server object name: the product registers the gRPC client;
    // tests may register an in-process server.
    using Factory = std::function<std::unique_ptr<IAppServer>(const std::string& host, int port)>;
    static void RegisterTransport(const std::string& serverName, Factory factory);
    // The factory registered for that server name (empty when none), so a
    // caller can wrap it (the scenario runner counts calls that way).
    static Factory Transport(const std::string& serverName);

private:
    bool m_connected = false;
    std::unique_ptr<IAppServer> m_appServer;
};

}  // namespace host
