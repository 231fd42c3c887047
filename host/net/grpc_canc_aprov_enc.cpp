#include "host/net/grpc_canc_aprov_enc.h"

#include <arpa/inet.h>
#include <google/protobuf/arena.h>
#include <grpcpp/generic/generic_stub.h>
#include <grpcpp/grpcpp.h>
#include <netdb.h>
#include <netinet/in.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstddef>
#include <type_traits>
#include <vector>

#include "host/data/data_packet.h"
#include "host/data/exceptions.h"
#include "host/net/channel_security.h"
#include "host/services/session.h"
#include "ore06100.grpc.pb.h"
#include "proto/packet_codec.h"

namespace host::net {

namespace {

// Large lists arrive in chunks of about 256 KiB; a single packet (the items
// of a huge order) may be bigger than gRPC's default 4 MiB.
constexpr int maxReceiveBytes = 64 * 1024 * 1024;
// The first block of the arena an answer of GetItemEnc is read into; a
// bigger answer takes more blocks from the heap.
constexpr std::size_t itemsArenaBytes = 16 * 1024;

// Trailing metadata the server sets when its status text is for the operator.
constexpr const char* operatorTextKey = "ore-operator-text";
// The session token's metadata entry, and the trailer of a refusal because
// the session expired.
constexpr const char* sessionKey = "ore-session";
constexpr const char* sessionExpiredKey = "ore-session-expired";

// A call refused because the session expired: signing on again may save it.
class SessionExpired : public Exception {
public:
    using Exception::Exception;
};

std::string formatAddress(const std::string& host, int port) {
    const bool bareIpv6 = host.find(':') != std::string::npos && host.front() != '[';
    return (bareIpv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Where the channel goes. One host is used as given; several ("a:1001,
// b:1002", a port left out meaning `port`) are resolved to their addresses
// once and the calls are spread over them in round robin: a server that goes
// away leaves the rotation and the next call goes to another.
struct ChannelTarget {
    std::string target;   // gRPC target
    std::string display;  // for the operator's messages
    bool several = false;
    std::vector<std::string> hostNames;  // as given, for TLS and the loopback check
};

ChannelTarget channelTarget(const std::string& host, int port) {
    if (host.find(',') == std::string::npos) {
        const std::string address = formatAddress(host, port);
        return {address, address, false, {host}};
    }
    std::vector<std::string> entries;
    std::string entry;
    for (const char c : host + ",") {
        if (c != ',') {
            entry += c;
            continue;
        }
        if (!trimmed(entry).empty()) {
            entries.push_back(trimmed(entry));
        }
        entry.clear();
    }
    std::string v4;
    std::string v6;
    std::string display;
    std::vector<std::string> hostNames;
    for (const std::string& item : entries) {
        std::string name = item;
        std::string service = std::to_string(port);
        if (item.front() == '[') {
            const auto close = item.find(']');
            if (close == std::string::npos) {
                throw Exception("Endereço de servidor inválido: " + item + ".");
            }
            name = item.substr(1, close - 1);
            if (close + 1 < item.size()) {
                if (item[close + 1] != ':') {
                    throw Exception("Endereço de servidor inválido: " + item + ".");
                }
                service = item.substr(close + 2);
            }
        } else if (std::count(item.begin(), item.end(), ':') == 1) {
            name = item.substr(0, item.find(':'));
            service = item.substr(item.find(':') + 1);
        }
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICSERV;
        addrinfo* found = nullptr;
        if (service.empty() || getaddrinfo(name.c_str(), service.c_str(), &hints, &found) != 0 ||
            found == nullptr) {
            throw Exception("Endereço de servidor inválido: " + item + ".");
        }
        char text[INET6_ADDRSTRLEN] = {};
        const bool ipv6 = found->ai_family == AF_INET6;
        const void* raw =
            ipv6 ? static_cast<const void*>(
                       &reinterpret_cast<const sockaddr_in6*>(found->ai_addr)->sin6_addr)
                 : static_cast<const void*>(
                       &reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr);
        inet_ntop(found->ai_family, raw, text, sizeof text);
        freeaddrinfo(found);
        std::string& list = ipv6 ? v6 : v4;
        list += (list.empty() ? "" : ",") + formatAddress(text, std::stoi(service));
        display += (display.empty() ? "" : ", ") + formatAddress(name, std::stoi(service));
        hostNames.push_back(name);
    }
    if (!v4.empty() && !v6.empty()) {
        throw Exception("Os endereços de servidor misturam IPv4 e IPv6: " + host + ".");
    }
    return {v4.empty() ? "ipv6:" + v6 : "ipv4:" + v4, display, true, hostNames};
}

// One client serves both server objects of the program: the channel, its
// deadlines and its error texts are the same.
class GrpcCancAprovEnc final : public IRdmCancAprovEnc, public IRdmHistCancAprov {
public:
    GrpcCancAprovEnc(const std::string& host, int port, CallDeadlines deadlines,
                     const ChannelSecurity& security)
        : GrpcCancAprovEnc(channelTarget(host, port), deadlines, security) {}

    GrpcCancAprovEnc(const ChannelTarget& target, CallDeadlines deadlines,
                     const ChannelSecurity& security)
        : m_address(target.display), m_deadlines(deadlines), m_secure(!security.caFile.empty()) {
        // A channel that may not be opened (plain text to a remote host, a
        // certificate file missing) is never made: every call raises why.
        std::shared_ptr<grpc::ChannelCredentials> credentials;
        try {
            credentials = channelCredentials(target.hostNames, security);
        } catch (const Exception& error) {
            m_refusal = error.what();
            return;
        }
        grpc::ChannelArguments arguments;
        if (target.several) {
            arguments.SetLoadBalancingPolicyName("round_robin");
            // The addresses are resolved here, so gRPC would check the
            // certificates against a list of numbers: every server of the
            // set must be valid for the first host name given.
            if (m_secure) {
                arguments.SetSslTargetNameOverride(target.hostNames.front());
            }
        }
        arguments.SetMaxReceiveMessageSize(maxReceiveBytes);
        // A restarted server is found again within seconds, not minutes.
        arguments.SetInt(GRPC_ARG_INITIAL_RECONNECT_BACKOFF_MS, 500);
        arguments.SetInt(GRPC_ARG_MIN_RECONNECT_BACKOFF_MS, 500);
        arguments.SetInt(GRPC_ARG_MAX_RECONNECT_BACKOFF_MS, 3000);
        m_channel = grpc::CreateCustomChannel(target.target, credentials, arguments);
        m_stub = ORE06100::rdmCancAprovEnc::NewStub(m_channel);
    }

    void CheckConnection() override {
        refuseWhenUnusable();
        const auto deadline = std::chrono::system_clock::now() + m_deadlines.connect;
        grpc_connectivity_state state = m_channel->GetState(true);
        while (state != GRPC_CHANNEL_READY && state != GRPC_CHANNEL_TRANSIENT_FAILURE &&
               state != GRPC_CHANNEL_SHUTDOWN) {
            if (!m_channel->WaitForStateChange(state, deadline)) {
                break;
            }
            state = m_channel->GetState(false);
        }
        if (state != GRPC_CHANNEL_READY) {
            throw Exception(m_secure ? secureConnectionText(connectionFailure())
                                     : unreachableText());
        }
    }

    Variant GetEncomenda(const std::string& CDFILIAL, std::string& NrIni, std::string& NrFin,
                         std::string& TodosNr, TDateTime& DtIni, TDateTime& DtFin,
                         std::string& TodosDt, std::string& ListaVendedor,
                         std::string& TodosVendedor, std::string& ListaCliente,
                         std::string& TodosCliente) override {
        ORE06100::GetEncomendaRequest request;
        request.set_branch(CDFILIAL);
        ORE06100::OrderFilter& filter = *request.mutable_filter();
        filter.set_order_from(NrIni);
        filter.set_order_to(NrFin);
        filter.set_all_orders(TodosNr);
        filter.set_delivery_from(DtIni.days);
        filter.set_delivery_to(DtFin.days);
        filter.set_all_deliveries(TodosDt);
        filter.set_salesman_list(ListaVendedor);
        filter.set_all_salesmen(TodosVendedor);
        filter.set_customer_list(ListaCliente);
        filter.set_all_customers(TodosCliente);

        return renewing([&] {
            return readOrders(request, NrIni, NrFin, TodosNr, DtIni, DtFin, TodosDt, ListaVendedor,
                              TodosVendedor, ListaCliente, TodosCliente);
        });
    }

    Variant readOrders(const ORE06100::GetEncomendaRequest& request, std::string& NrIni,
                       std::string& NrFin, std::string& TodosNr, TDateTime& DtIni, TDateTime& DtFin,
                       std::string& TodosDt, std::string& ListaVendedor, std::string& TodosVendedor,
                       std::string& ListaCliente, std::string& TodosCliente) {
        grpc::ClientContext context;
        reconnectAtOnce();
        addSession(context);
        context.set_deadline(std::chrono::system_clock::now() + m_deadlines.list);
        auto reader = m_stub->GetEncomenda(&context, request);
        ORE06100::GetEncomendaChunk chunk;
        ore::proto::PacketAssembler assembler;
        ORE06100::OrderFilter returned;
        bool first = true;
        try {
            while (reader->Read(&chunk)) {
                if (first) {
                    returned = chunk.filter();
                    first = false;
                }
                assembler.add(chunk.packet());
            }
        } catch (const ore::proto::PacketCodecError&) {
            context.TryCancel();
            reader->Finish();
            throw;
        }
        check(reader->Finish(), context, "GetEncomenda");
        if (assembler.empty()) {
            throw Exception("O servidor de aplicação " + m_address +
                            " não enviou a lista de encomendas.");
        }
        NrIni = returned.order_from();
        NrFin = returned.order_to();
        TodosNr = returned.all_orders();
        DtIni = TDateTime{returned.delivery_from()};
        DtFin = TDateTime{returned.delivery_to()};
        TodosDt = returned.all_deliveries();
        ListaVendedor = returned.salesman_list();
        TodosVendedor = returned.all_salesmen();
        ListaCliente = returned.customer_list();
        TodosCliente = returned.all_customers();
        return Variant(assembler.takeColumns());
    }

    Variant GetItemEnc(const std::string& CDFILIAL, const std::string& NRORCAEVENTO,
                       const std::string& NRSEQORCAEVE) override {
        ORE06100::GetItemEncRequest request;
        setKey(*request.mutable_key(), CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE);
        // The answer is read into an arena that starts on the stack: an
        // order's items are a few kilobytes, so parsing them allocates little
        // and freeing them is one step instead of one per cell.
        alignas(std::max_align_t) char firstBlock[itemsArenaBytes];
        google::protobuf::ArenaOptions options;
        options.initial_block = firstBlock;
        options.initial_block_size = sizeof firstBlock;
        google::protobuf::Arena arena(options);
        auto* reply = google::protobuf::Arena::CreateMessage<ORE06100::GetItemEncReply>(&arena);
        renewing([&] {
            grpc::ClientContext context;
            setDeadline(context);
            check(m_stub->GetItemEnc(&context, request, reply), context, "GetItemEnc");
        });
        return VarArrayOf({Variant(ore::proto::decodePacket(reply->items())),
                           Variant(ore::proto::decodePacket(reply->observation()))});
    }

    Variant GetEncomendaFilha(const std::string& CDFILIAL,
                              const std::string& NRORCAEVENTO) override {
        ORE06100::GetEncomendaFilhaRequest request;
        request.set_branch(CDFILIAL);
        request.set_order_number(NRORCAEVENTO);
        ORE06100::GetEncomendaFilhaReply reply;
        renewing([&] {
            grpc::ClientContext context;
            setDeadline(context);
            check(m_stub->GetEncomendaFilha(&context, request, &reply), context,
                  "GetEncomendaFilha");
        });
        return Variant(ore::proto::decodePacket(reply.children()));
    }

    Variant CancAprovaEnc(std::string& CDFILIAL, std::string& NRORCAEVENTO,
                          std::string& NRSEQORCAEVE, const std::string& CDJUSTEXCHIS,
                          const Variant& TXOBSJUSTORC, const std::string& CDOPERADOR) override {
        ORE06100::CancAprovaEncRequest request;
        setKey(*request.mutable_key(), CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE);
        if (!CDJUSTEXCHIS.empty()) {
            request.set_justification(CDJUSTEXCHIS);
        }
        if (!TXOBSJUSTORC.IsNull()) {
            request.set_observation(TXOBSJUSTORC.AsString());
        }
        if (!CDOPERADOR.empty()) {
            request.set_operator_code(CDOPERADOR);
        }
        ORE06100::CancAprovaEncReply reply;
        renewing([&] {
            grpc::ClientContext context;
            setDeadline(context);
            check(m_stub->CancAprovaEnc(&context, request, &reply), context, "CancAprovaEnc");
        });
        CDFILIAL = reply.key().branch();
        NRORCAEVENTO = reply.key().order_number();
        NRSEQORCAEVE = reply.key().sequence();
        Variant production;
        Variant shipped;
        if (reply.has_production_orders()) {
            production = Variant(ore::proto::decodePacket(reply.production_orders()));
        }
        if (reply.has_shipped_orders()) {
            shipped = Variant(ore::proto::decodePacket(reply.shipped_orders()));
        }
        return VarArrayOf({production, shipped});
    }

    Variant SetEncomenda(const Variant& Delta) override {
        if (Delta.Type() != VarType::Packet) {
            throw Exception("SetEncomenda: o argumento não é um pacote de alterações.");
        }
        ORE06100::SetEncomendaRequest request;
        ore::proto::encodePacket(Delta.AsPacket(), *request.mutable_delta());
        ORE06100::SetEncomendaReply reply;
        renewing([&] {
            grpc::ClientContext context;
            setDeadline(context);
            check(m_stub->SetEncomenda(&context, request, &reply), context, "SetEncomenda");
        });
        return Variant();
    }

    Variant GetHistCancAprov(TDateTime DtIni, TDateTime DtFin, const std::string& CDFILIAL,
                             const std::string& CDOPERADOR, const std::string& CDJUSTEXCHIS,
                             const std::string& IDRESULTADO, bool& Truncated) override {
        ORE06100::GetHistCancAprovRequest request;
        ORE06100::HistCancAprovFilter& filter = *request.mutable_filter();
        filter.set_period_from(DtIni.days);
        filter.set_period_to(DtFin.days);
        filter.set_branch(CDFILIAL);
        filter.set_operator_code(CDOPERADOR);
        filter.set_justification(CDJUSTEXCHIS);
        filter.set_outcome(IDRESULTADO);
        ORE06100::GetHistCancAprovReply reply;
        renewing([&] {
            grpc::ClientContext context;
            setDeadline(context);
            check(m_stub->GetHistCancAprov(&context, request, &reply), context, "GetHistCancAprov");
        });
        Truncated = reply.truncated();
        return Variant(ore::proto::decodePacket(reply.records()));
    }

    Variant GetHistCancAprovDoc(const std::string& IDHISTCANC) override {
        ORE06100::GetHistCancAprovDocRequest request;
        request.set_record_id(IDHISTCANC);
        ORE06100::GetHistCancAprovDocReply reply;
        renewing([&] {
            grpc::ClientContext context;
            setDeadline(context);
            check(m_stub->GetHistCancAprovDoc(&context, request, &reply), context,
                  "GetHistCancAprovDoc");
        });
        return VarArrayOf({Variant(ore::proto::decodePacket(reply.receivables())),
                           Variant(ore::proto::decodePacket(reply.sales_orders()))});
    }

    Variant PreviewCancAprovaEnc(const std::string& CDFILIAL, const std::string& NRORCAEVENTO,
                                 const std::string& NRSEQORCAEVE) override {
        ORE06100::PreviewCancAprovaEncRequest request;
        setKey(*request.mutable_key(), CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE);
        ORE06100::PreviewCancAprovaEncReply reply;
        renewing([&] {
            grpc::ClientContext context;
            setDeadline(context);
            check(m_stub->PreviewCancAprovaEnc(&context, request, &reply), context,
                  "PreviewCancAprovaEnc");
        });
        using ore::proto::decodePacket;
        return VarArrayOf({Variant(decodePacket(reply.child_orders())),
                           Variant(decodePacket(reply.production_orders())),
                           Variant(decodePacket(reply.shipped_orders())),
                           Variant(decodePacket(reply.paid_receivables())),
                           Variant(decodePacket(reply.bank_slips_sent())),
                           Variant(decodePacket(reply.deleted_receivables())),
                           Variant(decodePacket(reply.deleted_sales_orders())),
                           Variant(reply.new_status())});
    }

    SignOnResult signOn(const std::string& operatorCode, const std::string& password) {
        ORE06100::SignOnRequest request;
        request.set_operator_code(operatorCode);
        request.set_password(password);
        ORE06100::SignOnReply reply;
        grpc::ClientContext context;
        reconnectAtOnce();
        context.set_deadline(std::chrono::system_clock::now() + m_deadlines.call);
        check(m_stub->SignOn(&context, request, &reply), context, "SignOn");
        SignOnResult result;
        result.token = reply.token();
        result.expiresAt = reply.expires_at();
        result.operatorCode = reply.operator_code();
        result.operatorName = reply.operator_name();
        result.branch = reply.branch();
        result.branchName = reply.branch_name();
        result.fixedBranch = reply.fixed_branch();
        return result;
    }

private:
    static void setKey(ORE06100::OrderKey& key, const std::string& branch,
                       const std::string& number, const std::string& sequence) {
        key.set_branch(branch);
        key.set_order_number(number);
        key.set_sequence(sequence);
    }

    void setDeadline(grpc::ClientContext& context) const {
        reconnectAtOnce();
        addSession(context);
        context.set_deadline(std::chrono::system_clock::now() + m_deadlines.call);
    }

    // Read at each call: a renewed sign-on replaces the token in the session.
    static void addSession(grpc::ClientContext& context) {
        const std::string& token = CurrentSession().sessionToken;
        if (token.empty()) {
            return;
        }
        // gRPC aborts the process on a header value outside printable ASCII;
        // such a token is no token of a sign-on, and the server says so.
        const bool printable =
            std::all_of(token.begin(), token.end(), [](char c) { return c >= 0x20 && c <= 0x7e; });
        context.AddMetadata(sessionKey, printable ? token : std::string("-"));
    }

    // Runs a call; when the server says the session expired, asks for a new
    // sign-on and, when there is one, runs the call once more. Nothing of a
    // refused call was done, so running it again is safe.
    template <class Body>
    static std::invoke_result_t<Body&> renewing(Body&& body) {
        try {
            return body();
        } catch (const SessionExpired& expired) {
            if (!RenewSession()) {
                throw Exception(expired.what());
            }
        }
        try {
            return body();
        } catch (const SessionExpired& expired) {
            throw Exception(expired.what());
        }
    }

    // A channel that lost its server waits out a growing back-off before it
    // tries again, and fails every call meanwhile. The operator's command is
    // the moment to try: the back-off is dropped and the new attempt is
    // awaited (bounded by the connect deadline), so the first command after
    // the server is back works and one while it is still down fails at once.
    void reconnectAtOnce() const {
        refuseWhenUnusable();
        grpc_connectivity_state state = m_channel->GetState(false);
        if (state != GRPC_CHANNEL_TRANSIENT_FAILURE) {
            return;
        }
        grpc::experimental::ChannelResetConnectionBackoff(m_channel.get());
        // After a refused handshake the channel stays in failure while it
        // tries again, so no failed attempt shows: a short wait lets a
        // certificate put right be found without making each call wait out
        // the whole connect deadline.
        const auto wait = m_handshakeRefused ? std::min<std::chrono::milliseconds>(
                                                   m_deadlines.connect, std::chrono::seconds(1))
                                             : m_deadlines.connect;
        const auto deadline = std::chrono::system_clock::now() + wait;
        while (state != GRPC_CHANNEL_READY && state != GRPC_CHANNEL_SHUTDOWN) {
            if (!m_channel->WaitForStateChange(state, deadline)) {
                return;
            }
            const grpc_connectivity_state next = m_channel->GetState(true);
            if (next == GRPC_CHANNEL_TRANSIENT_FAILURE && state == GRPC_CHANNEL_CONNECTING) {
                return;  // the new attempt failed too: the server is still down
            }
            state = next;
        }
    }

    void refuseWhenUnusable() const {
        if (!m_refusal.empty()) {
            throw Exception(m_refusal);
        }
    }

    // The channel's state says only that connecting failed; a call on it
    // carries the reason. The method is one no server offers, so nothing is
    // done should the connection succeed meanwhile.
    std::string connectionFailure() const {
        grpc::GenericStub stub(m_channel);
        grpc::ClientContext context;
        context.set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(1));
        grpc::CompletionQueue queue;
        const grpc::ByteBuffer request;
        grpc::ByteBuffer reply;
        grpc::Status status;
        auto call = stub.PrepareUnaryCall(&context, "/ORE06100.rdmCancAprovEnc/ConnectionProbe",
                                          request, &queue);
        call->StartCall();
        call->Finish(&reply, &status, &status);
        void* tag = nullptr;
        bool ok = false;
        queue.Next(&tag, &ok);
        queue.Shutdown();
        while (queue.Next(&tag, &ok)) {
        }
        return status.error_message();
    }

    // gRPC reports a failed handshake (a server certificate the CA did not
    // sign or not made for the host name, a server without TLS) only in its
    // text.
    static bool isTlsFailure(std::string message) {
        std::transform(message.begin(), message.end(), message.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        for (const char* mark : {"handshake", "ssl", "tls", "certificate"}) {
            if (message.find(mark) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

    // Why a TLS channel is unavailable, from gRPC's text. Under TLS 1.3 a
    // server that refuses the client's certificate does so after the client
    // has finished its handshake: the client only sees the connection closed
    // while it was being made.
    std::string secureConnectionText(const std::string& message) const {
        m_handshakeRefused = false;
        if (isTlsFailure(message)) {
            m_handshakeRefused = true;
            return "Não foi possível estabelecer a conexão segura (TLS) com o servidor de "
                   "aplicação " +
                   m_address + ": o certificado não foi aceito.";
        }
        if (message.find("failed to connect") != std::string::npos &&
            message.find("Socket closed") != std::string::npos) {
            return "O servidor de aplicação " + m_address +
                   " recusou a conexão segura (TLS): o certificado do cliente não foi aceito.";
        }
        return unreachableText();
    }

    std::string unreachableText() const {
        return "Não foi possível conectar ao servidor de aplicação " + m_address + ".";
    }

    // Refusals and failures the server reports carry the operator's text as
    // they are; failures of the transport are told in terms of the address.
    void check(const grpc::Status& status, const grpc::ClientContext& context,
               const char* method) const {
        if (status.ok()) {
            return;
        }
        // The server marks the statuses it wrote for the operator; UNAVAILABLE
        // or RESOURCE_EXHAUSTED from the transport carry no such mark.
        const auto& trailers = context.GetServerTrailingMetadata();
        if (trailers.find(operatorTextKey) != trailers.end() && !status.error_message().empty()) {
            if (status.error_code() == grpc::StatusCode::UNAUTHENTICATED &&
                trailers.find(sessionExpiredKey) != trailers.end()) {
                throw SessionExpired(status.error_message());
            }
            throw Exception(status.error_message());
        }
        switch (status.error_code()) {
            case grpc::StatusCode::OK:
                return;
            case grpc::StatusCode::UNAVAILABLE:
                throw Exception(m_secure ? secureConnectionText(status.error_message())
                                         : unreachableText());
            case grpc::StatusCode::DEADLINE_EXCEEDED:
                throw Exception("O servidor de aplicação " + m_address + " não respondeu a tempo.");
            case grpc::StatusCode::RESOURCE_EXHAUSTED:
                // gRPC also answers so when the server has no thread left.
                if (status.error_message().find("larger than max") == std::string::npos) {
                    throw Exception("O servidor de aplicação " + m_address +
                                    " está sobrecarregado. Tente novamente em instantes.");
                }
                throw Exception(
                    "A mensagem excede o tamanho aceito na comunicação com o servidor de "
                    "aplicação " +
                    m_address + ".");
            case grpc::StatusCode::UNIMPLEMENTED:
                throw Exception("O servidor de aplicação " + m_address + " não oferece o método " +
                                method + ".");
            default:
                break;
        }
        if (status.error_message().empty()) {
            throw Exception("Falha na chamada " + std::string(method) +
                            " ao servidor de aplicação " + m_address + " (código " +
                            std::to_string(static_cast<int>(status.error_code())) + ").");
        }
        throw Exception(status.error_message());
    }

    std::string m_address;
    CallDeadlines m_deadlines;
    bool m_secure = false;
    mutable std::atomic<bool> m_handshakeRefused{false};
    std::string m_refusal;
    std::shared_ptr<grpc::Channel> m_channel;
    std::unique_ptr<ORE06100::rdmCancAprovEnc::Stub> m_stub;
};

}  // namespace

std::unique_ptr<IRdmCancAprovEnc> makeGrpcCancAprovEnc(const std::string& host, int port,
                                                       CallDeadlines deadlines) {
    return makeGrpcCancAprovEnc(host, port, deadlines, ChannelSecurity::fromSession());
}

std::unique_ptr<IRdmCancAprovEnc> makeGrpcCancAprovEnc(const std::string& host, int port,
                                                       CallDeadlines deadlines,
                                                       const ChannelSecurity& security) {
    return std::make_unique<GrpcCancAprovEnc>(host, port, deadlines, security);
}

std::unique_ptr<IRdmHistCancAprov> makeGrpcHistCancAprov(const std::string& host, int port,
                                                         CallDeadlines deadlines) {
    // The same channel security as the cancellation client.
    return std::make_unique<GrpcCancAprovEnc>(host, port, deadlines,
                                              ChannelSecurity::fromSession());
}

SignOnResult signOn(const std::string& host, int port, const std::string& operatorCode,
                    const std::string& password, CallDeadlines deadlines) {
    GrpcCancAprovEnc client(host, port, deadlines, ChannelSecurity::fromSession());
    return client.signOn(operatorCode, password);
}

}  // namespace host::net
