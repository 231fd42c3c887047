#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "cancellation_screen/unit.h"
#include "host/data/formatting.h"
#include "host/net/grpc_canc_aprov_enc.h"
#include "scenario/call_counter.h"
#include "scenario/live.h"
#include "scenario/server_process.h"

namespace scenario {
namespace {

using ::testing::HasSubstr;

// ---- Server process ----

class ServerProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("ore-scenario-test." + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    void startShell(ServerProcess& process, const std::string& script) {
        process.start("/bin/sh", {"-c", script}, folder / "server.log");
    }

    std::filesystem::path folder;
};

// Gone, or a zombie waiting for init: either way no longer running.
bool processEnded(pid_t pid) {
    for (int i = 0; i < 200; ++i) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string pidText, name, state;
        if (!(stat >> pidText >> name >> state) || state == "Z") {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

TEST_F(ServerProcessTest, AFreePortHasNobodyListening) {
    const int port = freeLoopbackPort();
    EXPECT_GT(port, 0);
    EXPECT_FALSE(portAnswers(port));
}

TEST_F(ServerProcessTest, AProgramThatExitsFirstIsReportedWithTheEndOfItsLog) {
    ServerProcess process;
    startShell(process, "echo one; echo 'cannot open database'; exit 3");
    try {
        process.waitUntilListening(freeLoopbackPort(), std::chrono::seconds(5));
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(),
                     "the server exited with status 3; its log ends:\n"
                     "    | one\n"
                     "    | cannot open database");
    }
    EXPECT_FALSE(process.running());
}

TEST_F(ServerProcessTest, AProgramThatNeverListensIsStoppedWhenTheTimeRunsOut) {
    ServerProcess process;
    startShell(process, "exec sleep 30");
    const int port = freeLoopbackPort();
    const auto started = std::chrono::steady_clock::now();
    try {
        process.waitUntilListening(port, std::chrono::seconds(1));
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()),
                  "the server did not answer on 127.0.0.1:" + std::to_string(port) + " within 1 s");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
    EXPECT_FALSE(process.running());
}

TEST_F(ServerProcessTest, WaitsUntilThePortAnswersThenStopsTheWholeGroup) {
    // The test itself listens, standing in for the server.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const int port = ntohs(address.sin_port);

    const auto pidFile = folder / "child.pid";
    ServerProcess process;
    startShell(process, "sleep 30 & echo $! > " + pidFile.string() + "; wait");
    process.waitUntilListening(port, std::chrono::seconds(5));
    EXPECT_TRUE(process.running());

    pid_t child = 0;
    for (int i = 0; i < 200 && child == 0; ++i) {
        std::ifstream in(pidFile);
        in >> child;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_GT(child, 0);
    process.stop(std::chrono::seconds(2));
    EXPECT_FALSE(process.running());
    EXPECT_TRUE(processEnded(child));
    ::close(listener);
}

TEST_F(ServerProcessTest, TheAddressItsLogNamesIsGivenWithItsPid) {
    const auto pidFile = folder / "shell.pid";
    ServerProcess process;
    startShell(process,
               "echo $$ > " + pidFile.string() +
                   "; echo 'starting'; echo '[info] X listening on 127.0.0.1:4242 (plain)';"
                   " exec sleep 30");
    EXPECT_EQ(process.waitForListeningAddress(std::chrono::seconds(5)), "127.0.0.1:4242");
    pid_t shell = 0;
    std::ifstream(pidFile) >> shell;
    EXPECT_EQ(process.pid(), shell);
    EXPECT_EQ(::getpgid(process.pid()), process.pid());
    process.stop(std::chrono::seconds(2));
    EXPECT_FALSE(process.running());
    EXPECT_EQ(process.pid(), 0);
    EXPECT_TRUE(processEnded(shell));
}

TEST_F(ServerProcessTest, AProgramThatExitsBeforeNamingItsAddressGivesNone) {
    ServerProcess process;
    startShell(process, "echo 'cannot open database'; exit 2");
    EXPECT_EQ(process.waitForListeningAddress(std::chrono::seconds(5)), "");
    EXPECT_FALSE(process.running());
    EXPECT_EQ(process.logTail(), "; its log ends:\n    | cannot open database");
}

TEST_F(ServerProcessTest, AProgramThatNeverNamesItsAddressGivesNoneAndStillRuns) {
    ServerProcess process;
    startShell(process, "echo starting; exec sleep 30");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(process.waitForListeningAddress(std::chrono::milliseconds(300)), "");
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));
    EXPECT_TRUE(process.running());
    process.stop(std::chrono::seconds(2));
    EXPECT_FALSE(process.running());
}

TEST_F(ServerProcessTest, AProgramInTheCallersGroupIsStoppedAlone) {
    ServerProcess process;
    process.start("/bin/sh", {"-c", "echo 'listening on 127.0.0.1:4243'; exec sleep 30"},
                  folder / "server.log", ServerProcess::Group::shared);
    ASSERT_EQ(process.waitForListeningAddress(std::chrono::seconds(5)), "127.0.0.1:4243");
    const pid_t pid = process.pid();
    EXPECT_EQ(::getpgid(pid), ::getpgrp());
    process.stop(std::chrono::seconds(2));
    EXPECT_FALSE(process.running());
    EXPECT_TRUE(processEnded(pid));
}

TEST_F(ServerProcessTest, AMissingProgramIsNamed) {
    ServerProcess process;
    try {
        process.start(folder / "ore06100-server", {}, folder / "server.log");
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), (folder / "ore06100-server").string() + " not found");
    }
}

// ---- Call counting ----

class FakeServer : public host::IRdmCancAprovEnc {
public:
    host::Variant GetEncomenda(const std::string& CDFILIAL, std::string& NrIni, std::string&,
                               std::string&, host::TDateTime& DtIni, host::TDateTime&, std::string&,
                               std::string&, std::string&, std::string&, std::string&) override {
        NrIni = "0000000101";
        DtIni = host::EncodeDate(2025, 3, 10);
        return host::Variant("list of " + CDFILIAL);
    }
    host::Variant GetItemEnc(const std::string&, const std::string& NRORCAEVENTO,
                             const std::string&) override {
        if (NRORCAEVENTO.empty()) {
            throw host::Exception("N_PARAM_ENCOMENDA");
        }
        return host::Variant("items of " + NRORCAEVENTO);
    }
    host::Variant GetEncomendaFilha(const std::string&, const std::string&) override { return {}; }
    host::Variant CancAprovaEnc(std::string&, std::string&, std::string& NRSEQORCAEVE,
                                const std::string&, const host::Variant&,
                                const std::string&) override {
        NRSEQORCAEVE = "00";
        return {};
    }
    host::Variant SetEncomenda(const host::Variant&) override { return {}; }
    host::Variant PreviewCancAprovaEnc(const std::string&, const std::string& NRORCAEVENTO,
                                       const std::string& NRSEQORCAEVE) override {
        return host::Variant("preview of " + NRORCAEVENTO + "/" + NRSEQORCAEVE);
    }
};

class NotTheCancellationServer : public host::IAppServer {};

TEST(CountingCancAprovEnc, CountsEachCallAndForwardsArgumentsBothWays) {
    CallCounts counts;
    CountingCancAprovEnc server(std::make_unique<FakeServer>(), counts);
    std::string nrIni, nrFin, todosNr, todosDt, vendedores, todosVendedor, clientes, todosCliente;
    host::TDateTime dtIni, dtFin;
    EXPECT_EQ(server
                  .GetEncomenda("0001", nrIni, nrFin, todosNr, dtIni, dtFin, todosDt, vendedores,
                                todosVendedor, clientes, todosCliente)
                  .AsString(),
              "list of 0001");
    EXPECT_EQ(nrIni, "0000000101");
    EXPECT_EQ(dtIni, host::EncodeDate(2025, 3, 10));
    EXPECT_EQ(server.GetItemEnc("0001", "0000000101", "00").AsString(), "items of 0000000101");
    EXPECT_THROW(server.GetItemEnc("0001", "", "00"), host::Exception);
    std::string branch = "0001", order = "0000000101", sequence;
    server.CancAprovaEnc(branch, order, sequence, "0002", host::Variant(), "OPER01");
    EXPECT_EQ(sequence, "00");
    EXPECT_EQ(server.PreviewCancAprovaEnc("0001", "0000000101", "01").AsString(),
              "preview of 0000000101/01");

    EXPECT_EQ(counts.count("GetEncomenda"), 1);
    EXPECT_EQ(counts.count("GetItemEnc"), 2);  // the refused call was made all the same
    EXPECT_EQ(counts.count("CancAprovaEnc"), 1);
    EXPECT_EQ(counts.count("SetEncomenda"), 0);
    EXPECT_EQ(counts.count("PreviewCancAprovaEnc"), 1);
    counts.reset();
    EXPECT_EQ(counts.count("GetItemEnc"), 0);
}

TEST(CountingCancAprovEnc, RefusesAnotherKindOfServerObject) {
    CallCounts counts;
    EXPECT_THROW(CountingCancAprovEnc(std::make_unique<NotTheCancellationServer>(), counts),
                 host::Exception);
}

TEST(CountCancAprovEncCalls, EveryConnectionOfTheScreenCounts) {
    CallCounts counts;
    countCancAprovEncCalls(counts);
    host::TNetConnection connection("netCancAprovEnc");
    connection.ServerName = host::net::cancAprovEncServerName;
    connection.Host = "127.0.0.1";
    connection.Port = freeLoopbackPort();
    connection.ThrowException = false;
    connection.SetConnected(true);
    auto& server = connection.AppServerAs<host::IRdmCancAprovEnc>();
    EXPECT_NE(dynamic_cast<CountingCancAprovEnc*>(&server), nullptr);
    // Nothing listens there: the call fails and still counts.
    EXPECT_THROW(server.GetEncomendaFilha("0001", "0000000101"), host::Exception);
    EXPECT_EQ(counts.count("GetEncomendaFilha"), 1);
    connection.SetConnected(false);
    host::TNetConnection::RegisterTransport(host::net::cancAprovEncServerName, nullptr);
}

// ---- The module's filter record ----

class FilterFieldTest : public ::testing::Test {
protected:
    void SetUp() override { Cli_ore06100::SetFiltroDefaults(Cli_ore06100::Filtro); }
    void TearDown() override { Cli_ore06100::ReleaseFiltro(Cli_ore06100::Filtro); }
};

TEST_F(FilterFieldTest, EveryPathReadsItsField) {
    Cli_ore06100::TFiltro& filtro = Cli_ore06100::Filtro;
    filtro.NrOrcaEven = {"0000000101", "0000000199", ""};
    filtro.DtEntrega = {host::EncodeDate(2025, 3, 10), host::TDateTime{0}, ""};
    filtro.Vendedor = {"0002,0003", ""};
    filtro.Cliente = {"000002", ""};
    filtro.IdSitu = "2";
    filtro.TodosSitu = "";

    EXPECT_EQ(moduleFilterField("NrOrcaEven.NrIni").text, "0000000101");
    EXPECT_EQ(moduleFilterField("NrOrcaEven.NrFin").text, "0000000199");
    EXPECT_EQ(moduleFilterField("NrOrcaEven.Todos").text, "");
    EXPECT_EQ(moduleFilterField("DtEntrega.DtIni").text, "10/03/2025");
    EXPECT_TRUE(matches("0", moduleFilterField("DtEntrega.DtFin")));
    EXPECT_EQ(moduleFilterField("DtEntrega.Todos").text, "");
    EXPECT_EQ(moduleFilterField("Vendedor.Lista").text, "0002,0003");
    EXPECT_EQ(moduleFilterField("Cliente.Lista").text, "000002");
    EXPECT_EQ(moduleFilterField("Cliente.Todos").text, "");
    EXPECT_EQ(moduleFilterField("IdSitu").text, "2");
    EXPECT_EQ(moduleFilterField("TodosSitu").text, "");
}

TEST_F(FilterFieldTest, AnUnknownPathListsTheKnownOnes) {
    try {
        moduleFilterField("Vendedor.Todas");
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_THAT(error.what(), HasSubstr("unknown filter field Vendedor.Todas ("));
    }
}

}  // namespace
}  // namespace scenario
