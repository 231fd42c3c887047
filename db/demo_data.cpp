#include "db/demo_data.h"

#include "db/operators.h"

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "host/sql/sql_dates.h"

namespace db {

namespace {

using host::Blob;
using host::TDateTime;
using host::Variant;
using Row = std::vector<Variant>;

// Rows go to the engine in chunks (of orders, customers) so a million orders
// never sit in memory.
constexpr std::size_t kChunkRows = 5000;

// splitmix64: a fixed sequence on every platform (the standard distributions
// are not), so the same order count always gives the same rows.
class Sequence {
public:
    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    int below(int bound) { return static_cast<int>(next() % static_cast<std::uint64_t>(bound)); }

private:
    std::uint64_t m_state = 0x4F5245303631ULL;
};

class Inserter {
public:
    Inserter(host::sql::Database& database, std::string statement, std::int64_t& counter)
        : m_database(database), m_statement(std::move(statement)), m_counter(counter) {
        m_rows.reserve(kChunkRows);
    }
    Inserter(const Inserter&) = delete;
    Inserter& operator=(const Inserter&) = delete;

    // Rows wait for flush(): the caller flushes parent tables before the
    // tables whose foreign keys refer to them.
    void add(Row row) {
        m_rows.push_back(std::move(row));
        ++m_counter;
    }
    void flush() {
        if (!m_rows.empty()) {
            m_database.executeMany(m_statement, m_rows);
            m_rows.clear();
        }
    }

private:
    host::sql::Database& m_database;
    std::string m_statement;
    std::int64_t& m_counter;
    std::vector<Row> m_rows;
};

std::string padded(std::int64_t number, int width) {
    std::string text = std::to_string(number);
    if (static_cast<int>(text.size()) < width) {
        text.insert(0, static_cast<std::size_t>(width) - text.size(), '0');
    }
    return text;
}

TDateTime at(const char* text) {
    return *host::sql::parseTimestamp(text);
}

// Registration numbers with valid check digits: CPF (11 digits) for persons,
// CNPJ (14 digits) for companies.
std::string withCheckDigits(std::string base, const std::vector<int>& firstWeights) {
    for (int round = 0; round < 2; ++round) {
        std::vector<int> weights = firstWeights;
        if (round == 1) {
            weights.insert(weights.begin(), firstWeights.front() + 1);
        }
        int sum = 0;
        for (std::size_t i = 0; i < base.size(); ++i) {
            sum += (base[i] - '0') * weights[i];
        }
        const int rest = sum % 11;
        base += static_cast<char>('0' + (rest < 2 ? 0 : 11 - rest));
    }
    return base;
}

std::string cpf(std::int64_t seed) {
    return withCheckDigits(padded(seed * 7919 % 1000000000, 9), {10, 9, 8, 7, 6, 5, 4, 3, 2});
}

std::string cnpj(std::int64_t seed) {
    return withCheckDigits(padded(seed * 104729 % 100000000, 8) + "0001",
                           {5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2});
}

struct Municipality {
    const char* state;
    const char* code;
    const char* name;
};

constexpr std::array<Municipality, 5> kMunicipalities = {{
    {"SP", "3550308", "SÃO PAULO"},
    {"RJ", "3304557", "RIO DE JANEIRO"},
    {"MG", "3106200", "BELO HORIZONTE"},
    {"RS", "4314902", "PORTO ALEGRE"},
    {"PR", "4106902", "CURITIBA"},
}};

struct Product {
    const char* code;
    const char* tree;
    const char* name;
    const char* unit;
    double price;
};

constexpr std::array<Product, 8> kProducts = {{
    {"0000000001", "01.001.0001", "BOLO DE CHOCOLATE", "KG", 45.5},
    {"0000000002", "01.001.0002", "DOCES FINOS", "CT", 1.234},
    {"0000000003", "02.001.0001", "SALGADOS SORTIDOS", "CT", 65.0},
    {"0000000004", "03.001.0001", "REFRIGERANTE 2L", "UN", 8.5},
    {"0000000005", "03.002.0001", "SUCO NATURAL", "LT", 4.0},
    {"0000000006", "04.001.0001", "TORTA DE LIMÃO", "KG", 38.0},
    {"0000000007", "04.002.0001", "PÃO DE QUEIJO", "KG", 29.9},
    {"0000000008", "05.001.0001", "SERVIÇO DE GARÇOM", "HR", 35.0},
}};

struct FixedCustomer {
    const char* code;
    const char* kind;
    const char* tradeName;
    const char* legalName;
    int municipality;
    const char* address;
};

constexpr std::array<FixedCustomer, 6> kFixedCustomers = {{
    {"000001", "F", "MARIA DA SILVA", "MARIA DA SILVA", 0, "RUA DAS FLORES, 100"},
    {"000002", "J", "FESTAS ALEGRIA", "ALEGRIA FESTAS E EVENTOS LTDA", 1, "AV. ATLÂNTICA, 2000"},
    {"000003", "F", "JOÃO PEREIRA", "JOÃO PEREIRA DOS SANTOS", 2, "RUA DA BAHIA, 55"},
    {"000004", "J", "BUFFET D'ÁVILA", "D'ÁVILA BUFFET LTDA", 3, "AV. IPIRANGA, 1234"},
    {"000005", "F", "ANA SOUZA", "ANA CAROLINA SOUZA", 4, "RUA XV DE NOVEMBRO, 10"},
    {"000006", "J", "CONSTRUTORA HORIZONTE", "HORIZONTE CONSTRUÇÕES S.A.", 0, "AV. PAULISTA, 900"},
}};

constexpr std::array<const char*, 5> kEventTitles = {"CASAMENTO", "ANIVERSÁRIO", "FORMATURA",
                                                     "CONFRATERNIZAÇÃO", "BATIZADO"};

// Writers of every table, sharing one set of counters.
class DemoWriter {
public:
    DemoWriter(host::sql::Database& database, DemoSummary& summary)
        : m_orders(database,
                   "INSERT INTO ORCAEVENTO (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, IDSITUORCEVE, "
                   "DTEVENTO, QTCONVORCEVE, CDPRECOBASE, DTVALIORCEVE, CDVENDEDOR, CDCLIENTE, "
                   "DSTITUORCEVE, NMCLIEORCEVE, CDJUSTEXCHIS, CDOPEJUSTORC, DTHRENTROREV) VALUES "
                   "(:CDFILIAL, :NRORCAEVENTO, :NRSEQORCAEVE, :IDSITUORCEVE, :DTEVENTO, "
                   ":QTCONVORCEVE, :CDPRECOBASE, :DTVALIORCEVE, :CDVENDEDOR, :CDCLIENTE, "
                   ":DSTITUORCEVE, :NMCLIEORCEVE, :CDJUSTEXCHIS, :CDOPEJUSTORC, :DTHRENTROREV)",
                   summary.orders),
          m_items(database,
                  "INSERT INTO ITORCAEVEN (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, NRITEMORCEVE, "
                  "CDPRODUTO, QTITEMORCEVE, VRITEMORCEVE, VRDESCITOREV, IDITOREVPROD, "
                  "NROPCAITOREV, CDGRTOTAPROD) VALUES (:CDFILIAL, :NRORCAEVENTO, :NRSEQORCAEVE, "
                  ":NRITEMORCEVE, :CDPRODUTO, :QTITEMORCEVE, :VRITEMORCEVE, :VRDESCITOREV, "
                  ":IDITOREVPROD, :NROPCAITOREV, :CDGRTOTAPROD)",
                  summary.items),
          m_observations(database,
                         "INSERT INTO OBSJUSTORC (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, "
                         "NRSEQHISTORCA, DTHRHISTORCA, TXOBSJUSTORC, CDOPERADOR, CDJUSTEXCHIS) "
                         "VALUES (:CDFILIAL, :NRORCAEVENTO, :NRSEQORCAEVE, :NRSEQHISTORCA, "
                         ":DTHRHISTORCA, :TXOBSJUSTORC, :CDOPERADOR, :CDJUSTEXCHIS)",
                         summary.observations),
          m_salesOrders(database,
                        "INSERT INTO PEDIDO (CDFILIAL, NRPEDIDO, NRORCAEVENTO, NRSEQORCAEVE, "
                        "IDSITUPEDIDO) VALUES (:CDFILIAL, :NRPEDIDO, :NRORCAEVENTO, "
                        ":NRSEQORCAEVE, :IDSITUPEDIDO)",
                        summary.salesOrders),
          m_productionOrders(database,
                             "INSERT INTO ORDEMPROD (CDFILIAL, NRORDPROD, NRSUBORDPROD, NRPEDIDO, "
                             "CDPRODUTO) VALUES (:CDFILIAL, :NRORDPROD, :NRSUBORDPROD, "
                             ":NRPEDIDO, :CDPRODUTO)",
                             summary.productionOrders),
          m_receivables(database,
                        "INSERT INTO CONTARECEBER (CDFILIAL, NRDOCUMENTO, NRORCAEVENTO, "
                        "NRSEQORCAEVE, VRDOCUMENTO, IDBAIXADA, IDBOLETOENVIADO) VALUES "
                        "(:CDFILIAL, :NRDOCUMENTO, :NRORCAEVENTO, :NRSEQORCAEVE, :VRDOCUMENTO, "
                        ":IDBAIXADA, :IDBOLETOENVIADO)",
                        summary.receivables) {}

    struct Order {
        std::string branch;
        std::string number;
        std::string sequence = "00";
        std::string status;
        std::string customer;
        std::string customerName;
        std::string salesman;
        std::string title;
        TDateTime delivery;
        Variant justification;
        Variant justifiedBy;
    };

    void order(const Order& o, int guests, const char* priceBase) {
        const TDateTime eventDay{static_cast<double>(static_cast<std::int64_t>(o.delivery.days))};
        m_orders.add({o.branch, o.number, o.sequence, o.status, eventDay, Variant(double(guests)),
                      priceBase, TDateTime{eventDay.days - 30}, o.salesman, o.customer, o.title,
                      o.customerName, o.justification, o.justifiedBy, o.delivery});
    }

    // Item numbers count from 1 within the order.
    double item(const Order& o, int itemNumber, const Product& product, double quantity,
                double price) {
        m_items.add({o.branch, o.number, o.sequence, padded(itemNumber, 10), product.code, quantity,
                     price, 0.0, "P", "01", "001"});
        return quantity * price;
    }

    void observation(const Order& o, int sequence, const char* when, const std::string& text,
                     const char* operatorCode) {
        observation(o, sequence, at(when), text, operatorCode);
    }
    void observation(const Order& o, int sequence, TDateTime when, const std::string& text,
                     const char* operatorCode) {
        m_observations.add({o.branch, o.number, o.sequence, Variant(sequence), when, Blob{text},
                            operatorCode, Variant()});
    }

    void salesOrder(const Order& o, const std::string& number, const char* status) {
        m_salesOrders.add({o.branch, number, o.number, o.sequence, status});
    }

    void productionOrder(const std::string& branch, const std::string& number, const char* subOrder,
                         const std::string& salesOrder, const char* product) {
        m_productionOrders.add({branch, number, subOrder, salesOrder, product});
    }

    void receivable(const Order& o, const std::string& document, double amount, const char* paid,
                    const char* slipSent) {
        m_receivables.add({o.branch, document, o.number, o.sequence, amount, paid, slipSent});
    }

    // Parents first: production orders refer to sales orders, the rest to orders.
    void flush() {
        m_orders.flush();
        m_items.flush();
        m_observations.flush();
        m_salesOrders.flush();
        m_productionOrders.flush();
        m_receivables.flush();
    }

    // Keeps the chunks of dependent tables behind those of the orders.
    void orderWritten() {
        if (++m_sinceFlush >= kChunkRows) {
            flush();
            m_sinceFlush = 0;
        }
    }

private:
    Inserter m_orders;
    Inserter m_items;
    Inserter m_observations;
    Inserter m_salesOrders;
    Inserter m_productionOrders;
    Inserter m_receivables;
    std::size_t m_sinceFlush = 0;
};

void writeLookups(host::sql::Database& database, DemoSummary& summary, std::int64_t customers) {
    std::int64_t ignored = 0;
    {
        Inserter branches(database, "INSERT INTO FILIAL (CDFILIAL, NMFILIAL) VALUES (:C, :N)",
                          summary.branches);
        branches.add({"0001", "MATRIZ"});
        branches.add({"0002", "FILIAL CENTRO"});
        branches.add({"0003", "FILIAL NORTE"});
        branches.flush();
    }
    {
        Inserter justifications(
            database, "INSERT INTO JUSTEXCHIS (CDJUSTEXCHIS, DSJUSTEXCHIS) VALUES (:C, :D)",
            ignored);
        justifications.add({"0001", "CLIENTE DESISTIU"});
        justifications.add({"0002", "ERRO NA APROVAÇÃO"});
        justifications.add({"0003", "ALTERAÇÃO DE CARDÁPIO"});
        justifications.add({"0004", "DATA DO EVENTO ALTERADA"});
        justifications.flush();
    }
    {
        Inserter salesmen(database, "INSERT INTO VENDEDOR (CDVENDEDOR, NMFANVEN) VALUES (:C, :N)",
                          ignored);
        salesmen.add({"0001", "CARLOS VENDAS"});
        salesmen.add({"0002", "BEATRIZ LIMA"});
        salesmen.add({"0003", "RICARDO ALVES"});
        salesmen.add({"0004", "FERNANDA COSTA"});
        salesmen.add({"0005", "PAULO MENDES"});
        salesmen.flush();
    }
    {
        Inserter countries(database, "INSERT INTO PAIS (CDPAIS, NMPAIS) VALUES (:C, :N)", ignored);
        countries.add({"1058", "BRASIL"});
        countries.flush();
        Inserter municipalities(database,
                                "INSERT INTO MUNICIPIO (CDPAIS, SGESTADO, CDMUNICIPIO, "
                                "NMMUNICIPIO) VALUES (:P, :E, :C, :N)",
                                ignored);
        for (const Municipality& m : kMunicipalities) {
            municipalities.add({"1058", m.state, m.code, m.name});
        }
        municipalities.flush();
    }
    {
        Inserter priceBases(
            database, "INSERT INTO PRECOBASE (CDPRECOBASE, DSPRECOBASE) VALUES (:C, :D)", ignored);
        priceBases.add({"01", "VAREJO"});
        priceBases.add({"02", "ATACADO"});
        priceBases.add({"03", "EVENTOS CORPORATIVOS"});
        priceBases.flush();
        Inserter products(database,
                          "INSERT INTO PRODUTO (CDPRODUTO, CDARVPROD, NMPRODUTO, SGUNIDADE) "
                          "VALUES (:C, :A, :N, :U)",
                          ignored);
        for (const Product& p : kProducts) {
            products.add({p.code, p.tree, p.name, p.unit});
        }
        products.flush();
    }
    Inserter clients(database,
                     "INSERT INTO CLIENTE (CDCLIENTE, IDTPIJURCLIE, NRINSJURCLIE, NMFANTCLIE, "
                     "NMRAZSOCCLIE) VALUES (:C, :K, :R, :F, :L)",
                     summary.customers);
    std::int64_t addressCount = 0;
    Inserter addresses(database,
                       "INSERT INTO ENDECLIE (CDCLIENTE, IDTPENDECLIE, CDPAIS, SGESTADO, "
                       "CDMUNICIPIO, DSENDECLIE) VALUES (:C, :T, :P, :E, :M, :D)",
                       addressCount);
    for (std::int64_t i = 1; i <= customers; ++i) {
        std::string code = padded(i, 6);
        std::string kind;
        std::string tradeName;
        std::string legalName;
        std::string address;
        int municipality = 0;
        if (i <= static_cast<std::int64_t>(kFixedCustomers.size())) {
            const FixedCustomer& c = kFixedCustomers[static_cast<std::size_t>(i - 1)];
            kind = c.kind;
            tradeName = c.tradeName;
            legalName = c.legalName;
            address = c.address;
            municipality = c.municipality;
        } else {
            kind = i % 2 == 1 ? "F" : "J";
            tradeName = "CLIENTE " + code;
            legalName = kind == "F" ? "CLIENTE " + code + " DA SILVA" : "CLIENTE " + code + " LTDA";
            address = "RUA " + std::to_string(i % 997 + 1) + ", " + std::to_string(i % 1000 + 1);
            municipality = static_cast<int>(i % static_cast<std::int64_t>(kMunicipalities.size()));
        }
        const Municipality& m = kMunicipalities[static_cast<std::size_t>(municipality)];
        clients.add({code, kind, kind == "F" ? cpf(i) : cnpj(i), tradeName, legalName});
        addresses.add({code, "P", "1058", m.state, m.code, address});
        // A second, non-principal address: the customer pick list must still
        // show the customer once.
        if (i == 2) {
            addresses.add({code, "C", "1058", "SP", "3550308", "AV. BRIGADEIRO FARIA LIMA, 1"});
        }
        if (i % static_cast<std::int64_t>(kChunkRows) == 0) {
            clients.flush();
            addresses.flush();
        }
    }
    clients.flush();
    addresses.flush();
}

using Order = DemoWriter::Order;

Order fixedOrder(const char* branch, int number, const char* sequence, const char* status,
                 int customer, int salesman, const char* title, const char* delivery) {
    const FixedCustomer& c = kFixedCustomers[static_cast<std::size_t>(customer - 1)];
    return Order{branch,      padded(number, 10),  sequence, status,       c.code,
                 c.tradeName, padded(salesman, 4), title,    at(delivery), Variant(),
                 Variant()};
}

void writeFixedOrders(DemoWriter& w) {
    const auto& p = kProducts;

    // Branch 0001: one order per outcome of a cancellation (see db/DEMO.md).
    Order o =
        fixedOrder("0001", 101, "00", "2", 1, 1, "CASAMENTO MARIA E JOSÉ", "2025-03-10 09:00:00");
    w.order(o, 150, "01");
    double total = w.item(o, 1, p[1], 3.0, 1.234) + w.item(o, 2, p[4], 2.5, 4.0);
    w.observation(o, 1, "2025-02-20 00:00:00", "Primeira observação da encomenda 101.", "VENDAS");
    w.observation(o, 2, "2025-03-01 00:00:00", "Observação mais recente da encomenda 101.",
                  "SUPERVISOR");
    w.salesOrder(o, o.number, "A");
    w.receivable(o, o.number, total, "N", "N");

    o = fixedOrder("0001", 102, "00", "2", 2, 2, "CONFRATERNIZAÇÃO ALEGRIA", "2025-03-10 14:30:00");
    w.order(o, 80, "02");

    o = fixedOrder("0001", 103, "00", "3", 3, 3, "ANIVERSÁRIO JOÃO", "2025-03-11 10:00:00");
    o.justification = Variant("0003");
    o.justifiedBy = Variant("SUPERVISOR");
    w.order(o, 40, "01");
    total = w.item(o, 1, p[1], 3.0, 1.234);
    w.receivable(o, o.number, total, "N", "N");

    o = fixedOrder("0001", 104, "00", "3", 4, 1, "FORMATURA TURMA 2025", "2025-03-11 18:00:00");
    w.order(o, 300, "03");
    w.observation(o, 1, "2025-03-02 00:00:00", "Cliente confirmou o cardápio.", "VENDAS");

    o = fixedOrder("0001", 105, "00", "2", 5, 2, "BATIZADO PEDRO", "2025-03-12 08:00:00");
    w.order(o, 60, "01");
    w.item(o, 1, p[0], 2.0, 45.5);
    w.item(o, 2, p[5], 1.5, 38.0);
    w.salesOrder(o, o.number, "A");
    w.productionOrder("0001", o.number, "1", o.number, p[0].code);
    w.productionOrder("0001", o.number, "2", o.number, p[5].code);

    o = fixedOrder("0001", 106, "00", "2", 6, 3, "INAUGURAÇÃO HORIZONTE", "2025-03-12 12:00:00");
    w.order(o, 200, "03");
    w.item(o, 1, p[2], 4.0, 65.0);
    w.salesOrder(o, o.number, "E");

    o = fixedOrder("0001", 107, "00", "2", 1, 4, "CHÁ DE BEBÊ", "2025-03-13 09:30:00");
    w.order(o, 30, "01");
    total = w.item(o, 1, p[3], 24.0, 8.5);
    w.receivable(o, o.number, total, "S", "N");

    o = fixedOrder("0001", 108, "00", "3", 2, 5, "COQUETEL DE LANÇAMENTO", "2025-03-13 16:00:00");
    w.order(o, 120, "02");
    total = w.item(o, 1, p[6], 3.0, 29.9);
    w.observation(o, 1, "2025-03-03 00:00:00", "Boleto enviado ao banco.", "FINANCEIRO");
    w.receivable(o, o.number, total, "N", "S");

    o = fixedOrder("0001", 109, "00", "2", 4, 1, "FESTA D'ÁVILA; DROP TABLE ORCAEVENTO; --",
                   "2025-03-13 20:00:00");
    w.order(o, 90, "01");
    w.item(o, 1, p[7], 5.0, 35.0);
    w.observation(o, 1, "2025-03-04 00:00:00",
                  "Texto com 'aspas'; ponto e vírgula, \"aspas duplas\" e -- traços.", "VENDAS");

    o = fixedOrder("0001", 110, "00", "2", 3, 2, "CASAMENTO PEREIRA", "2025-03-14 10:00:00");
    w.order(o, 250, "01");
    w.item(o, 1, p[0], 1.0, 50.0);
    o.sequence = "01";
    o.title = "CASAMENTO PEREIRA - RECEPÇÃO";
    w.order(o, 250, "01");
    w.item(o, 1, p[4], 2.5, 4.0);
    w.observation(o, 1, "2025-03-05 00:00:00", "Observação da encomenda filha.", "VENDAS");
    o.sequence = "02";
    o.status = "3";
    o.title = "CASAMENTO PEREIRA - JANTAR";
    o.delivery = at("2025-03-14 15:00:00");
    w.order(o, 250, "01");

    o = fixedOrder("0001", 111, "00", "1", 4, 3, "ORÇAMENTO PENDENTE", "2025-03-10 11:00:00");
    w.order(o, 50, "01");
    w.item(o, 1, p[1], 1.0, 10.0);

    o = fixedOrder("0001", 112, "00", "8", 5, 4, "ENCOMENDA CANCELADA", "2025-03-11 11:00:00");
    o.justification = Variant("0001");
    o.justifiedBy = Variant("SUPERVISOR");
    w.order(o, 50, "01");

    o = fixedOrder("0001", 113, "00", "9", 6, 5, "ENCOMENDA ADIADA", "2025-03-12 11:00:00");
    w.order(o, 50, "01");

    // Other branches: the list of one branch never shows another's orders.
    o = fixedOrder("0002", 201, "00", "2", 1, 1, "ANIVERSÁRIO CENTRO", "2025-03-10 09:00:00");
    w.order(o, 70, "01");
    w.item(o, 1, p[2], 2.0, 60.0);
    o = fixedOrder("0002", 202, "00", "3", 4, 2, "FORMATURA CENTRO", "2025-03-11 10:00:00");
    w.order(o, 100, "02");
    o = fixedOrder("0002", 203, "00", "1", 2, 3, "PENDENTE CENTRO", "2025-03-12 10:00:00");
    w.order(o, 20, "01");
    o = fixedOrder("0003", 301, "00", "2", 3, 4, "CASAMENTO NORTE", "2025-03-10 09:00:00");
    w.order(o, 180, "01");
    w.item(o, 1, p[0], 3.0, 45.5);
    o = fixedOrder("0003", 302, "00", "3", 6, 5, "CONFRATERNIZAÇÃO NORTE", "2025-03-13 17:00:00");
    w.order(o, 60, "03");
    w.receivable(o, o.number, 500.0, "N", "N");
}

// Generated orders: numbers from 0000001000 up, spread over the three branches,
// every status, a year of delivery dates, 0-4 items, some observations, sales
// orders, production orders and receivables; now and then a parent with a
// child. Children count towards `count`.
void writeGeneratedOrders(DemoWriter& w, std::int64_t count, std::int64_t customers) {
    static const char* kBranches[] = {"0001", "0002", "0003"};
    static const char* kPriceBases[] = {"01", "02", "03"};
    const double firstDay = at("2025-01-01 00:00:00").days;
    Sequence random;
    std::int64_t written = 0;
    for (std::int64_t i = 0; written < count; ++i) {
        Order o;
        o.branch = kBranches[i % 3];
        o.number = padded(1000 + i, 10);
        const int roll = random.below(100);
        o.status = roll < 45 ? "2" : roll < 80 ? "3" : roll < 90 ? "1" : roll < 95 ? "8" : "9";
        const std::int64_t customer = 1 + random.below(static_cast<int>(customers));
        o.customer = padded(customer, 6);
        o.customerName = customer <= static_cast<std::int64_t>(kFixedCustomers.size())
                             ? kFixedCustomers[static_cast<std::size_t>(customer - 1)].tradeName
                             : "CLIENTE " + o.customer;
        o.salesman = padded(1 + random.below(5), 4);
        o.title = std::string(kEventTitles[static_cast<std::size_t>(random.below(5))]) + " " +
                  std::to_string(1000 + i);
        o.delivery = TDateTime{firstDay + random.below(365) + (8 + random.below(12)) / 24.0 +
                               random.below(4) * 15 / 1440.0};
        const int guests = 20 + random.below(281);
        const char* priceBase = kPriceBases[random.below(3)];

        const bool withChild = count - written >= 2 && random.below(40) == 0;
        const int sequences = withChild ? 2 : 1;
        for (int s = 0; s < sequences; ++s) {
            o.sequence = s == 0 ? "00" : "01";
            w.order(o, guests, priceBase);
            ++written;
            double total = 0.0;
            const int itemCount = random.below(5);
            for (int k = 1; k <= itemCount; ++k) {
                const Product& product = kProducts[static_cast<std::size_t>(random.below(8))];
                total += w.item(o, k, product, (1 + random.below(40)) * 0.5, product.price);
            }
            if (random.below(3) == 0) {
                w.observation(o, 1, TDateTime{o.delivery.days - 10 - random.below(20)},
                              "Observação gerada " + o.number + "/" + o.sequence, "VENDAS");
            }
            const bool approved = o.status == "2" || o.status == "3";
            if (s == 0 && approved && random.below(3) == 0) {
                const bool shipped = random.below(10) == 0;
                w.salesOrder(o, o.number, shipped ? "E" : "A");
                if (!shipped && random.below(8) == 0) {
                    w.productionOrder(o.branch, o.number, "1", o.number, kProducts[0].code);
                }
            }
            if (s == 0 && approved && random.below(2) == 0) {
                const int flags = random.below(15);
                w.receivable(o, o.number, total > 0 ? total : 100.0, flags == 0 ? "S" : "N",
                             flags == 1 ? "S" : "N");
            }
            w.orderWritten();
        }
    }
}

// The demo operators of db/DEMO.md, their hashes made with the interactive
// limits as a real operator's would be.
std::vector<OperatorDefinition> demoOperators() {
    std::vector<OperatorDefinition> operators(3);
    operators[0].code = "SUPERVISOR";
    operators[0].name = "SUPERVISORA GERAL";
    operators[0].password = "supervisor123";
    operators[0].branch = "0001";
    operators[0].branches = {{"0001", true}, {"0002", true}, {"0003", true}};
    operators[1].code = "VENDAS";
    operators[1].name = "ATENDENTE DE VENDAS";
    operators[1].password = "vendas123";
    operators[1].branch = "0001";
    operators[1].branches = {{"0001", false}, {"0002", false}};
    operators[2].code = "CENTRO";
    operators[2].name = "GERENTE DO CENTRO";
    operators[2].password = "centro123";
    operators[2].branch = "0002";
    operators[2].fixedBranch = true;
    operators[2].branches = {{"0002", true}};
    for (OperatorDefinition& definition : operators) {
        definition.passwordHash = hashPassword(definition.password, HashCost::interactive);
    }
    return operators;
}

}  // namespace

DemoSummary generateDemoData(host::sql::Database& database, std::int64_t orders) {
    if (orders < 0) {
        throw host::sql::DatabaseError("The order count cannot be negative");
    }
    const auto existing = database.query(
        "SELECT (SELECT COUNT(*) FROM FILIAL) + (SELECT COUNT(*) FROM ORCAEVENTO) AS N");
    if (existing.rows.at(0).at(0).AsInteger() != 0) {
        throw host::sql::DatabaseError(
            "The database already holds branches or orders; demo data needs an empty one");
    }
    DemoSummary summary;
    const std::int64_t customers = static_cast<std::int64_t>(kFixedCustomers.size()) + orders / 20;
    // The secondary indexes of a large load only stay fast while their pages
    // stay in memory; SQLite's default cache is 2 MB.
    const bool sqlite = database.engine() == host::sql::Engine::sqlite;
    if (sqlite) {
        database.executeScript("PRAGMA cache_size = -262144");
    }
    const std::vector<OperatorDefinition> operators = demoOperators();
    host::sql::Transaction transaction(database);
    writeLookups(database, summary, customers);
    for (const OperatorDefinition& definition : operators) {
        addOperator(database, definition);
    }
    DemoWriter writer(database, summary);
    writeFixedOrders(writer);
    writeGeneratedOrders(writer, orders - kFixedOrderCount, customers);
    writer.flush();
    transaction.commit();
    if (sqlite) {
        database.executeScript("PRAGMA cache_size = -2000");
    }
    return summary;
}

}  // namespace db
