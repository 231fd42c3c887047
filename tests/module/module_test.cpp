#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "cancellation_screen/canc_aprov_enc.h"
#include "cancellation_screen/unit.h"
#include "filter_dialog/unit.h"
#include "host/services/modules.h"
#include "host/services/package.h"
#include "host/services/session.h"
#include "host/ui/form.h"
#include "host/ui/scripted_platform.h"

#ifndef ORE_MODULE_FILE
#error "ORE_MODULE_FILE must name the module under test"
#endif

namespace {

using EntryFunction = void (*)();
using TableFunction = const PackageInfoTable* (*)();

// Loads the module as the host does and resolves its entries by plain name.
class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        host::Application().SetPlatform(&platform);
        host::CurrentSession() = {};
        host::CurrentSession().branchCode = "0001";
        host::CurrentSession().branchName = "MATRIZ";
        host::CurrentSession().serverPort = 1;  // nothing listens: no call is made here
        handle = dlopen(ORE_MODULE_FILE, RTLD_NOW | RTLD_GLOBAL);
        ASSERT_NE(handle, nullptr) << dlerror();
        iniProc = reinterpret_cast<EntryFunction>(dlsym(handle, "IniProc"));
        initialize = reinterpret_cast<EntryFunction>(dlsym(handle, "Initialize"));
        finalize = reinterpret_cast<EntryFunction>(dlsym(handle, "Finalize"));
        packageInfo = reinterpret_cast<TableFunction>(dlsym(handle, "GetPackageInfoTable"));
        ASSERT_TRUE(iniProc && initialize && finalize && packageInfo);
        initialize();
    }
    void TearDown() override {
        host::Application().Reset();
        finalize();
        dlclose(handle);
        host::Application().SetPlatform(nullptr);
    }

    int screenCount() const {
        int count = 0;
        for (const auto& form : host::Application().Forms()) {
            count += dynamic_cast<Cli_ore06100::TfrmCancAprovEnc*>(form.get()) != nullptr;
        }
        return count;
    }

    host::ScriptedPlatform platform;
    void* handle = nullptr;
    EntryFunction iniProc = nullptr;
    EntryFunction initialize = nullptr;
    EntryFunction finalize = nullptr;
    TableFunction packageInfo = nullptr;
};

TEST_F(ModuleTest, IniProcTwiceGivesOneScreenBroughtForward) {
    iniProc();
    auto* first = Cli_ore06100::frmCancAprovEnc;
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(Cli_ore06100::boStCriado);
    first->WindowState = host::TWindowState::wsMinimized;

    iniProc();
    EXPECT_EQ(Cli_ore06100::frmCancAprovEnc, first);
    EXPECT_EQ(screenCount(), 1);
    EXPECT_EQ(first->WindowState, host::TWindowState::wsNormal);
    EXPECT_EQ(first->Caption(), "Cancelamento da Aprovação da Encomenda");
    EXPECT_TRUE(platform.failures().empty());
}

TEST_F(ModuleTest, ClosingThenIniProcGivesAFreshScreenWithDefaultFilter) {
    iniProc();
    auto* first = Cli_ore06100::frmCancAprovEnc;
    ASSERT_NE(first, nullptr);
    EXPECT_FALSE(first->boPrimeiraVez);  // the first activation has run
    Cli_ore06100::Filtro.NrOrcaEven = {"0000000001", "0000000009", ""};
    Cli_ore06100::Filtro.Cliente = {"000001", ""};

    host::Application().Dispatch([&] { first->Close(); });
    EXPECT_FALSE(Cli_ore06100::boStCriado);
    EXPECT_EQ(screenCount(), 0);

    iniProc();
    ASSERT_NE(Cli_ore06100::frmCancAprovEnc, nullptr);
    EXPECT_EQ(screenCount(), 1);
    const Cli_ore06100::TFiltro& filtro = Cli_ore06100::Filtro;
    EXPECT_EQ(filtro.NrOrcaEven.NrIni, "");
    EXPECT_EQ(filtro.NrOrcaEven.NrFin, "");
    EXPECT_EQ(filtro.NrOrcaEven.Todos, "T");
    EXPECT_EQ(filtro.DtEntrega.DtIni.days, 0.0);
    EXPECT_EQ(filtro.DtEntrega.Todos, "T");
    EXPECT_EQ(filtro.Vendedor.Todos, "T");
    EXPECT_EQ(filtro.Cliente.Lista, "");
    EXPECT_EQ(filtro.Cliente.Todos, "T");
    EXPECT_EQ(filtro.IdSitu, "");
    EXPECT_EQ(filtro.TodosSitu, "T");
    // The branch defaults are read again on the first activation.
    EXPECT_EQ(Cli_ore06100::frmCancAprovEnc->edtCdFilial->Text(), "0001");
    EXPECT_EQ(Cli_ore06100::frmCancAprovEnc->edtNmFilial->Text(), "MATRIZ");
    EXPECT_TRUE(Cli_ore06100::frmCancAprovEnc->mnuFolhaDados->Checked());
}

TEST_F(ModuleTest, FinalizeEmptiesTheModuleStrings) {
    Cli_ore06100::Filtro.Vendedor = {"0001,0002", ""};
    Cli_ore06100::Filtro.TodosSitu = "T";
    Cli_ore06101::stCliente = "000001";
    Cli_ore06101::stVendedor = "0001";
    finalize();
    EXPECT_EQ(Cli_ore06100::Filtro.Vendedor.Lista, "");
    EXPECT_EQ(Cli_ore06100::Filtro.TodosSitu, "");
    EXPECT_EQ(Cli_ore06101::stCliente, "");
    EXPECT_EQ(Cli_ore06101::stVendedor, "");
    initialize();  // balanced for TearDown
}

TEST_F(ModuleTest, UnitsRunOnceEachInTheirOrder) {
    const PackageInfoTable* table = packageInfo();
    ASSERT_NE(table, nullptr);
    ASSERT_GE(table->unitCount, 3);
    EXPECT_STREQ(table->units[table->unitCount - 2].name, "Cli_ore06101");
    EXPECT_STREQ(table->units[table->unitCount - 1].name, "Cli_ore06100");
    for (int i = 0; i < table->unitCount - 2; ++i) {
        EXPECT_NE(std::string(table->units[i].name).rfind("Cli_", 0), 0u);
    }
    // A second initialization leaves the unit state alone.
    Cli_ore06101::stCliente = "keep";
    initialize();
    EXPECT_EQ(Cli_ore06101::stCliente, "keep");
    finalize();
}

TEST_F(ModuleTest, ModuleRegisteredItselfOnAttach) {
    bool found = false;
    for (const host::LoadedModule& module : host::LoadedModules()) {
        if (module.fileName.find("libPKG_ORE06100.so") != std::string::npos) {
            found = true;
            EXPECT_FALSE(module.resourceFile.empty());
        }
    }
    EXPECT_TRUE(found);
}

}  // namespace
