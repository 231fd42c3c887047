// Sign-on, sessions and authorization through the real client, on both
// engines: who may call, who is recorded, and that a refusal changes nothing.
#include <gtest/gtest.h>
#include <spdlog/spdlog.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "db/operators.h"
#include "host/data/data_packet.h"
#include "host/net/grpc_canc_aprov_enc.h"
#include "host/services/session.h"
#include "host/sql/sql_dates.h"
#include "server/order_server.h"
#include "server/sessions.h"
#include "tests/support/server_fixture.h"
#include "tests/support/sign_on.h"
#include "tests/support/test_database.h"

namespace {

using host::DataPacket;
using host::RowStatus;
using host::Variant;
using host::sql::Params;

const char* const signOnRefused = "Operador ou senha inválidos.";
const char* const sessionMissing = "Sessão não iniciada. Entre com seu operador e senha.";
const char* const sessionInvalid = "Sessão inválida. Entre novamente.";
const char* const sessionExpired = "Sessão expirada. Entre novamente.";
const char* const mayNotCancel = "Operador sem permissão para cancelar aprovações na filial 0001.";
const char* const mayNotWorkOn0002 = "Operador sem permissão para trabalhar na filial 0002.";

// Now, UTC, as the session table counts time (days since 1899-12-30).
host::TDateTime utcNow() {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
    return host::TDateTime{25569.0 + static_cast<double>(seconds) / 86400.0};
}

class SignOnTest : public testsupport::EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        spdlog::set_level(spdlog::level::off);
        host::CurrentSession().sessionToken.clear();
        exec("INSERT INTO FILIAL VALUES ('0001', 'MATRIZ'), ('0002', 'FILIAL SUL')");
        exec("INSERT INTO JUSTEXCHIS VALUES ('0001', 'Desistência do cliente')");
        addOrder("0001", "0000000001");
        addOrder("0001", "0000000002");
        addOrder("0002", "0000000003");
        exec("INSERT INTO PEDIDO VALUES ('0001', 'P000000001', '0000000001', '00', 'A')");
        exec(
            "INSERT INTO CONTARECEBER VALUES ('0001', 'R000000001', '0000000001', '00', 10.5,"
            " 'N', 'N')");
        // CANCELA may cancel on 0001; CONSULTA may only look at 0001;
        // INATIVO is no longer active.
        testsupport::addTestOperator(database(), "CANCELA", "senha-cancela", "0001",
                                     {{"0001", true}});
        testsupport::addTestOperator(database(), "CONSULTA", "senha-consulta", "0001",
                                     {{"0001", false}});
        testsupport::addTestOperator(database(), "INATIVO", "senha-inativo", "0001",
                                     {{"0001", true}});
        exec("UPDATE OPERADOR SET IDATIVO = 'N' WHERE CDOPERADOR = 'INATIVO'");
        exec(
            "UPDATE OPERADOR SET NMOPERADOR = 'Carla Cancela', IDFILIALFIXA = 'S'"
            " WHERE CDOPERADOR = 'CANCELA'");
        m_server = startServer();
        m_api = host::net::makeGrpcCancAprovEnc("127.0.0.1", m_server->port());
    }

    void TearDown() override {
        host::SetSessionRenewer({});
        host::CurrentSession().sessionToken.clear();
        m_api.reset();
        m_server.reset();
        m_second.reset();
        EngineTest::TearDown();
    }

    using Verifier = std::function<bool(const std::string&, const std::string&)>;

    testsupport::RunningServer startServer(Verifier verify = {}) {
        ore::server::ServerOptions options;
        options.sessions.verifyPassword = std::move(verify);
        options.sessions.freeFailures = 3;
        options.sessions.firstBackOff = std::chrono::seconds(30);
        options.sessions.maxBackOff = std::chrono::seconds(120);
        // These tests cut sessions off in the database and expect the very
        // next call to see it (the cache is tested on its own).
        options.sessions.cache.lifetime = std::chrono::milliseconds(0);
        return testsupport::startLoopbackServer(testDatabase().target(), options);
    }

    void exec(const std::string& statement, const Params& params = {}) {
        database().execute(statement, params);
    }

    std::string scalar(const std::string& statement, const Params& params = {}) {
        const DataPacket packet = database().query(statement, params);
        if (packet.rows.empty()) {
            return "<none>";
        }
        const Variant& value = packet.rows.front().front();
        return value.IsNull() ? "<null>" : value.AsString();
    }

    void addOrder(const std::string& branch, const std::string& number) {
        exec(
            "INSERT INTO ORCAEVENTO (CDFILIAL, NRORCAEVENTO, NRSEQORCAEVE, IDSITUORCEVE,"
            " CDVENDEDOR, CDCLIENTE, DTHRENTROREV) VALUES (:B, :N, '00', '2', '0001',"
            " '000000000000000000001', :D)",
            {{"B", branch}, {"N", number}, {"D", *host::sql::parseTimestamp("2024-05-10 14:00")}});
    }

    // Every row of the tables a call could change, in a stable order.
    std::string snapshot() {
        return testsupport::tableSnapshot(database(),
                                          {"ORCAEVENTO", "OBSJUSTORC", "PEDIDO", "CONTARECEBER"});
    }

    std::string signOnError(const std::string& code, const std::string& password) {
        try {
            host::net::signOn("127.0.0.1", m_server->port(), code, password);
        } catch (const host::Exception& error) {
            return error.what();
        }
        return "<signed on>";
    }

    void signOnAs(const std::string& code, const std::string& password) {
        testsupport::signOnAs(m_server->port(), code, password);
    }

    // "" when the call works, else the text the client raised.
    std::string itemsError(const std::string& branch, const std::string& number) {
        try {
            m_api->GetItemEnc(branch, number, "00");
        } catch (const host::Exception& error) {
            return error.what();
        }
        return "";
    }

    std::string listError(const std::string& branch) {
        std::string from, to, all = "T", dates = "T", salesmen, allSalesmen = "T", customers,
                              allCustomers = "T";
        host::TDateTime dateFrom, dateTo;
        try {
            m_api->GetEncomenda(branch, from, to, all, dateFrom, dateTo, dates, salesmen,
                                allSalesmen, customers, allCustomers);
        } catch (const host::Exception& error) {
            return error.what();
        }
        return "";
    }

    std::string childrenError(const std::string& branch) {
        try {
            m_api->GetEncomendaFilha(branch, "0000000003");
        } catch (const host::Exception& error) {
            return error.what();
        }
        return "";
    }

    std::string cancelError(const std::string& number, const std::string& requestOperator = "",
                            const std::string& branch = "0001") {
        std::string b = branch, n = number, s = "00";
        try {
            m_api->CancAprovaEnc(b, n, s, "0001", Variant("cliente desistiu"), requestOperator);
        } catch (const host::Exception& error) {
            return error.what();
        }
        return "";
    }

    DataPacket list(const std::string& branch) {
        std::string from, to, all = "T", dates = "T", salesmen, allSalesmen = "T", customers,
                              allCustomers = "T";
        host::TDateTime dateFrom, dateTo;
        return m_api
            ->GetEncomenda(branch, from, to, all, dateFrom, dateTo, dates, salesmen, allSalesmen,
                           customers, allCustomers)
            .AsPacket();
    }

    // A change log that sets the justification of the list's first row.
    static Variant justificationChange(const DataPacket& orders, const std::string& operatorCode) {
        DataPacket delta;
        delta.fields = orders.fields;
        delta.rows.push_back(orders.rows.front());
        delta.rowStatus.push_back(RowStatus::Unmodified);
        auto values = orders.rows.front();
        values[static_cast<std::size_t>(orders.FieldIndex("CDJUSTEXCHIS"))] = Variant("0001");
        values[static_cast<std::size_t>(orders.FieldIndex("CDOPEJUSTORC"))] = Variant(operatorCode);
        delta.rows.push_back(values);
        delta.rowStatus.push_back(RowStatus::Modified);
        return Variant(delta);
    }

    testsupport::RunningServer m_server;
    testsupport::RunningServer m_second;
    std::unique_ptr<host::IRdmCancAprovEnc> m_api;
};

TEST_P(SignOnTest, SignOnAnswersTheSessionAndKeepsOnlyTheTokensHash) {
    const auto before = std::chrono::system_clock::now();
    const host::net::SignOnResult result =
        host::net::signOn("127.0.0.1", m_server->port(), "CANCELA", "senha-cancela");
    EXPECT_EQ(result.operatorCode, "CANCELA");
    EXPECT_EQ(result.operatorName, "Carla Cancela");
    EXPECT_EQ(result.branch, "0001");
    EXPECT_EQ(result.branchName, "MATRIZ");
    EXPECT_TRUE(result.fixedBranch);
    // 256 random bits, URL-safe.
    EXPECT_EQ(result.token.size(), 43u);
    EXPECT_EQ(result.token.find_first_not_of(
                  "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
              std::string::npos);
    const auto eightHours =
        std::chrono::duration_cast<std::chrono::seconds>(before.time_since_epoch()).count() +
        8 * 3600;
    EXPECT_GE(result.expiresAt, eightHours);
    EXPECT_LE(result.expiresAt, eightHours + 60);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM SESSAOOPER"), "1");
    EXPECT_EQ(scalar("SELECT HSTOKEN FROM SESSAOOPER"), ore::server::tokenHash(result.token));
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM SESSAOOPER WHERE HSTOKEN = :T", {{"T", result.token}}),
              "0");
    EXPECT_EQ(scalar("SELECT CDOPERADOR FROM SESSAOOPER"), "CANCELA");
    // A different token each time.
    EXPECT_NE(host::net::signOn("127.0.0.1", m_server->port(), "CANCELA", "senha-cancela").token,
              result.token);
}

TEST_P(SignOnTest, WrongPasswordUnknownAndInactiveOperatorsReadTheSame) {
    EXPECT_EQ(signOnError("CANCELA", "senha-errada"), signOnRefused);
    EXPECT_EQ(signOnError("NINGUEM", "senha-cancela"), signOnRefused);
    EXPECT_EQ(signOnError("INATIVO", "senha-inativo"), signOnRefused);
    EXPECT_EQ(signOnError("CANCELA", ""), signOnRefused);
    EXPECT_EQ(signOnError("", "senha-cancela"), signOnRefused);
    EXPECT_EQ(scalar("SELECT QTFALHALOGON FROM OPERADOR WHERE CDOPERADOR = 'CANCELA'"), "1");
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM SESSAOOPER"), "0");
    // A code longer than the column is bad input, told as such.
    EXPECT_EQ(signOnError("CODIGOLONGO13", "x"), "O campo CDOPERADOR tem mais de 12 caracteres.");
    EXPECT_EQ(signOnError("CANCELA", "\xC3"), "O campo senha não é um texto UTF-8 válido.");
}

TEST_P(SignOnTest, RepeatedFailuresSlowTheOperatorDownUntilTheBackOffHasPassed) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        EXPECT_EQ(signOnError("CANCELA", "errada"), signOnRefused);
    }
    EXPECT_EQ(scalar("SELECT QTFALHALOGON FROM OPERADOR WHERE CDOPERADOR = 'CANCELA'"), "3");
    // Even the right password waits out the back-off; the refusal is at
    // once, and the count does not grow meanwhile.
    const auto started = std::chrono::steady_clock::now();
    const std::string waiting = signOnError("CANCELA", "senha-cancela");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_EQ(waiting.rfind("Muitas tentativas de entrada sem sucesso para este operador. "
                            "Tente novamente em ",
                            0),
              0u)
        << waiting;
    EXPECT_NE(waiting.find(" segundos."), std::string::npos) << waiting;
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM SESSAOOPER"), "0");
    EXPECT_EQ(scalar("SELECT QTFALHALOGON FROM OPERADOR WHERE CDOPERADOR = 'CANCELA'"), "3");
    // Another server on the same database refuses the same guesser.
    m_second = startServer();
    try {
        host::net::signOn("127.0.0.1", m_second->port(), "CANCELA", "senha-cancela");
        ADD_FAILURE() << "signed on during the back-off";
    } catch (const host::Exception& error) {
        EXPECT_EQ(std::string(error.what()).rfind("Muitas tentativas", 0), 0u) << error.what();
    }
    // Other operators are not slowed down.
    EXPECT_EQ(signOnError("CONSULTA", "senha-consulta"), "<signed on>");

    // Once the back-off has passed, a good sign-on works and clears the count.
    exec("UPDATE OPERADOR SET DTULTFALHA = :T WHERE CDOPERADOR = 'CANCELA'",
         {{"T", *host::sql::parseTimestamp("2020-01-01 00:00:00")}});
    EXPECT_EQ(signOnError("CANCELA", "senha-cancela"), "<signed on>");
    EXPECT_EQ(scalar("SELECT QTFALHALOGON FROM OPERADOR WHERE CDOPERADOR = 'CANCELA'"), "0");
    EXPECT_EQ(scalar("SELECT DTULTFALHA FROM OPERADOR WHERE CDOPERADOR = 'CANCELA'"), "<null>");
}

TEST_P(SignOnTest, TheBackOffGrowsWithEveryFailureUpToItsCap) {
    const auto waitAfter = [&](int failures) {
        exec("UPDATE OPERADOR SET QTFALHALOGON = :Q, DTULTFALHA = :T WHERE CDOPERADOR = 'CANCELA'",
             {{"Q", static_cast<std::int64_t>(failures)}, {"T", utcNow()}});
        return signOnError("CANCELA", "senha-cancela");
    };
    EXPECT_EQ(waitAfter(2), "<signed on>");
    const std::string prefix =
        "Muitas tentativas de entrada sem sucesso para este operador. Tente novamente em ";
    const auto seconds = [&](const std::string& text) {
        EXPECT_EQ(text.rfind(prefix, 0), 0u) << text;
        return std::stoi(text.substr(prefix.size()));
    };
    const int third = seconds(waitAfter(3));
    const int fourth = seconds(waitAfter(4));
    const int many = seconds(waitAfter(40));
    EXPECT_GT(third, 25);
    EXPECT_LE(third, 30);
    EXPECT_GT(fourth, 55);
    EXPECT_LE(fourth, 60);
    EXPECT_GT(many, 115);
    EXPECT_LE(many, 120);
}

// The part of an Argon2 string before the salt: algorithm, version and costs.
std::string argon2Costs(const std::string& hash) {
    std::size_t at = 0;
    for (int dollar = 0; dollar < 3 && at != std::string::npos; ++dollar) {
        at = hash.find('$', at + 1);
    }
    return at == std::string::npos ? "<not argon2: " + hash + ">" : hash.substr(0, at);
}

TEST_P(SignOnTest, AnUnknownOrInactiveCodeIsVerifiedAtTheCostOfARealOperator) {
    std::mutex mutex;
    std::vector<std::string> verified;
    m_second = startServer([&](const std::string& password, const std::string& hash) {
        const std::lock_guard lock(mutex);
        verified.push_back(hash);
        return ore::server::passwordHashMatches(password, hash);
    });
    const auto refusal = [&](const std::string& code, const std::string& password) {
        try {
            host::net::signOn("127.0.0.1", m_second->port(), code, password);
        } catch (const host::Exception& error) {
            return std::string(error.what());
        }
        return std::string("<signed on>");
    };
    EXPECT_EQ(refusal("NINGUEM", "senha-cancela"), signOnRefused);
    EXPECT_EQ(refusal("INATIVO", "senha-inativo"), signOnRefused);
    EXPECT_EQ(refusal("CANCELA", "senha-errada"), signOnRefused);

    const std::lock_guard lock(mutex);
    ASSERT_EQ(verified.size(), 3u);
    // Both codes without an operator are checked against one stand-in, made
    // with the limits of a real operator's hash, that no password matches.
    EXPECT_EQ(verified[0], verified[1]);
    EXPECT_EQ(argon2Costs(verified[0]),
              argon2Costs(db::hashPassword("qualquer", db::HashCost::interactive)));
    EXPECT_FALSE(ore::server::passwordHashMatches("senha-cancela", verified[0]));
    EXPECT_FALSE(ore::server::passwordHashMatches("senha-inativo", verified[0]));
    EXPECT_EQ(verified[2], scalar("SELECT DSSENHAHASH FROM OPERADOR WHERE CDOPERADOR = 'CANCELA'"));
    // Only the operator that exists counts a failure.
    EXPECT_EQ(scalar("SELECT QTFALHALOGON FROM OPERADOR WHERE CDOPERADOR = 'INATIVO'"), "0");
    EXPECT_EQ(scalar("SELECT QTFALHALOGON FROM OPERADOR WHERE CDOPERADOR = 'CANCELA'"), "1");
}

TEST_P(SignOnTest, SimultaneousWrongGuessesBeyondTheFreeOnesAllWaitOutTheBackOff) {
    constexpr int guesses = 7;
    std::mutex mutex;
    std::condition_variable changed;
    int verifying = 0;
    int answered = 0;
    bool release = false;
    // Every verify is held until each guess is either verifying or
    // answered: the guesses overlap as fully as they can, so only the
    // decision made before verifying can stop them.
    m_second = startServer([&](const std::string& password, const std::string& hash) {
        std::unique_lock lock(mutex);
        ++verifying;
        changed.notify_all();
        changed.wait_for(lock, std::chrono::seconds(30), [&] { return release; });
        lock.unlock();
        return ore::server::passwordHashMatches(password, hash);
    });
    std::vector<std::string> answers(guesses);
    std::vector<std::thread> threads;
    for (int guess = 0; guess < guesses; ++guess) {
        threads.emplace_back([&, guess] {
            std::string answer = "<signed on>";
            try {
                host::net::signOn("127.0.0.1", m_second->port(), "CANCELA",
                                  "errada-" + std::to_string(guess));
            } catch (const host::Exception& error) {
                answer = error.what();
            }
            const std::lock_guard lock(mutex);
            answers[static_cast<std::size_t>(guess)] = answer;
            ++answered;
            changed.notify_all();
        });
    }
    {
        std::unique_lock lock(mutex);
        EXPECT_TRUE(changed.wait_for(lock, std::chrono::seconds(30),
                                     [&] { return verifying + answered == guesses; }));
        release = true;
        changed.notify_all();
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    int refused = 0;
    int toldToWait = 0;
    for (const std::string& answer : answers) {
        if (answer == signOnRefused) {
            ++refused;
        } else if (answer.rfind("Muitas tentativas de entrada sem sucesso para este operador. "
                                "Tente novamente em ",
                                0) == 0) {
            ++toldToWait;
        } else {
            ADD_FAILURE() << answer;
        }
    }
    EXPECT_EQ(verifying, 3);
    EXPECT_EQ(refused, 3);
    EXPECT_EQ(toldToWait, guesses - 3);
    EXPECT_EQ(scalar("SELECT QTFALHALOGON FROM OPERADOR WHERE CDOPERADOR = 'CANCELA'"), "3");
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM SESSAOOPER"), "0");
}

TEST_P(SignOnTest, ACallWithoutAValidTokenIsRefusedAndTellsWhy) {
    EXPECT_EQ(itemsError("0001", "0000000001"), sessionMissing);
    EXPECT_EQ(cancelError("0000000002"), sessionMissing);
    host::CurrentSession().sessionToken = "nao-e-um-token";
    EXPECT_EQ(itemsError("0001", "0000000001"), sessionInvalid);
    // Well formed, but no sign-on gave it.
    host::CurrentSession().sessionToken = std::string(43, 'A');
    EXPECT_EQ(listError("0001"), sessionInvalid);
    host::CurrentSession().sessionToken = "com espaço";
    EXPECT_EQ(itemsError("0001", "0000000001"), sessionInvalid);
    // An operator made inactive loses the sessions it has.
    signOnAs("CONSULTA", "senha-consulta");
    EXPECT_EQ(itemsError("0001", "0000000001"), "");
    exec("UPDATE OPERADOR SET IDATIVO = 'N' WHERE CDOPERADOR = 'CONSULTA'");
    EXPECT_EQ(itemsError("0001", "0000000001"), sessionInvalid);
}

TEST_P(SignOnTest, AnExpiredSessionIsToldAsSuchAndRenewedOnceWhenTheHostCan) {
    signOnAs("CANCELA", "senha-cancela");
    EXPECT_EQ(itemsError("0001", "0000000001"), "");
    exec("UPDATE SESSAOOPER SET DTEXPIRA = :T",
         {{"T", *host::sql::parseTimestamp("2020-01-01 00:00:00")}});
    const std::string before = snapshot();
    EXPECT_EQ(itemsError("0001", "0000000001"), sessionExpired);
    EXPECT_EQ(cancelError("0000000002"), sessionExpired);
    EXPECT_EQ(snapshot(), before);

    // A renewer that gives up: the server's text.
    int asked = 0;
    host::SetSessionRenewer([&] {
        ++asked;
        return false;
    });
    EXPECT_EQ(cancelError("0000000002"), sessionExpired);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(snapshot(), before);

    // A renewer that signs on again: the call is made once more and works.
    host::SetSessionRenewer([&] {
        ++asked;
        signOnAs("CANCELA", "senha-cancela");
        return true;
    });
    EXPECT_EQ(cancelError("0000000002"), "");
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(scalar("SELECT IDSITUORCEVE FROM ORCAEVENTO WHERE NRORCAEVENTO = '0000000002'"), "1");
    // The sign-on swept the expired session away.
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM SESSAOOPER"), "1");

    // A renewer that claims success without a valid token is not asked twice.
    exec("UPDATE SESSAOOPER SET DTEXPIRA = :T",
         {{"T", *host::sql::parseTimestamp("2020-01-01 00:00:00")}});
    host::SetSessionRenewer([&] {
        ++asked;
        return true;
    });
    EXPECT_EQ(itemsError("0001", "0000000001"), sessionExpired);
    EXPECT_EQ(asked, 3);
}

TEST_P(SignOnTest, AnotherServerInstanceAcceptsTheSession) {
    m_second = startServer();
    signOnAs("CANCELA", "senha-cancela");
    auto other = host::net::makeGrpcCancAprovEnc("127.0.0.1", m_second->port());
    EXPECT_NO_THROW(other->GetItemEnc("0001", "0000000001", "00"));
    std::string b = "0001", n = "0000000002", s = "00";
    EXPECT_NO_THROW(other->CancAprovaEnc(b, n, s, "0001", Variant("obs"), ""));
    EXPECT_EQ(scalar("SELECT IDSITUORCEVE FROM ORCAEVENTO WHERE NRORCAEVENTO = '0000000002'"), "1");
}

TEST_P(SignOnTest, AnOperatorWithoutTheRightToCancelIsRefusedAndNothingChanges) {
    signOnAs("CONSULTA", "senha-consulta");
    // Looking is allowed.
    EXPECT_EQ(itemsError("0001", "0000000001"), "");
    const DataPacket orders = list("0001");
    ASSERT_EQ(orders.rows.size(), 2u);
    const std::string before = snapshot();
    EXPECT_EQ(cancelError("0000000001", "SUPERVISOR"), mayNotCancel);
    EXPECT_EQ(snapshot(), before);
    // The refusal leaves its history record, and only that.
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM HISTCANCAPROV"), "1");
    EXPECT_EQ(scalar("SELECT IDRESULTADO || ' ' || DSRECUSA || ' ' || CDOPERADOR || ' ' ||"
                     " NRORCAEVENTO || ' ' || CDJUSTEXCHIS || ' ' || TXOBSJUSTORC"
                     " FROM HISTCANCAPROV"),
              "A OPER_SEM_PERM_CANC|0001 CONSULTA 0000000001 0001 cliente desistiu");
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM HISTCONTARECEBER"), "0");
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM HISTPEDIDO"), "0");
    try {
        m_api->SetEncomenda(justificationChange(orders, "CONSULTA"));
        ADD_FAILURE() << "the change log was applied";
    } catch (const host::Exception& error) {
        EXPECT_STREQ(error.what(), mayNotCancel);
    }
    EXPECT_EQ(snapshot(), before);
}

TEST_P(SignOnTest, AChangeLogWithOneRowOfAnotherBranchChangesNothing) {
    testsupport::addTestOperator(database(), "MISTO", "senha-misto", "0001",
                                 {{"0001", true}, {"0002", false}});
    signOnAs("MISTO", "senha-misto");
    const DataPacket first = list("0001");
    const DataPacket second = list("0002");
    DataPacket delta;
    delta.fields = first.fields;
    for (const DataPacket* orders : {&first, &second}) {
        delta.rows.push_back(orders->rows.front());
        delta.rowStatus.push_back(RowStatus::Unmodified);
        auto values = orders->rows.front();
        values[static_cast<std::size_t>(orders->FieldIndex("CDJUSTEXCHIS"))] = Variant("0001");
        delta.rows.push_back(values);
        delta.rowStatus.push_back(RowStatus::Modified);
    }
    const std::string before = snapshot();
    try {
        m_api->SetEncomenda(Variant(delta));
        ADD_FAILURE() << "the change log was applied";
    } catch (const host::Exception& error) {
        EXPECT_STREQ(error.what(),
                     "Operador sem permissão para cancelar aprovações na filial 0002.");
    }
    EXPECT_EQ(snapshot(), before);
}

TEST_P(SignOnTest, BranchesOutsideTheOperatorsAreRefused) {
    signOnAs("CANCELA", "senha-cancela");
    EXPECT_EQ(listError("0001"), "");
    EXPECT_EQ(listError("0002"), mayNotWorkOn0002);
    EXPECT_EQ(itemsError("0002", "0000000003"), mayNotWorkOn0002);
    EXPECT_EQ(childrenError("0002"), mayNotWorkOn0002);
    const std::string before = snapshot();
    EXPECT_EQ(cancelError("0000000003", "", "0002"),
              "Operador sem permissão para cancelar aprovações na filial 0002.");
    EXPECT_EQ(snapshot(), before);
    // With the branch granted, the same calls work.
    exec("INSERT INTO OPERFILIAL VALUES ('CANCELA', '0002', 'N')");
    EXPECT_EQ(listError("0002"), "");
    EXPECT_EQ(itemsError("0002", "0000000003"), "");
    EXPECT_EQ(childrenError("0002"), "");
}

TEST_P(SignOnTest, TheOperatorRecordedIsTheSessionsNotTheRequests) {
    signOnAs("CANCELA", "senha-cancela");
    EXPECT_EQ(cancelError("0000000001", "INTRUSO"), "");
    EXPECT_EQ(scalar("SELECT CDOPEJUSTORC FROM ORCAEVENTO WHERE NRORCAEVENTO = '0000000001'"),
              "CANCELA");
    EXPECT_EQ(scalar("SELECT CDOPERADOR FROM OBSJUSTORC WHERE NRORCAEVENTO = '0000000001'"),
              "CANCELA");
    // A request with no operator at all records the session's too.
    EXPECT_EQ(cancelError("0000000002", ""), "");
    EXPECT_EQ(scalar("SELECT CDOPEJUSTORC FROM ORCAEVENTO WHERE NRORCAEVENTO = '0000000002'"),
              "CANCELA");
    // And a change log naming another operator.
    exec("UPDATE ORCAEVENTO SET IDSITUORCEVE = '2' WHERE NRORCAEVENTO = '0000000002'");
    const DataPacket orders = list("0001");
    m_api->SetEncomenda(justificationChange(orders, "INTRUSO"));
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM ORCAEVENTO WHERE CDOPEJUSTORC = 'INTRUSO'"), "0");
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM ORCAEVENTO WHERE CDOPEJUSTORC = 'CANCELA'"), "2");
}

ORE_ON_BOTH_ENGINES(SignOnTest);

}  // namespace
