#include "host/services/package.h"

#include <dlfcn.h>

#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "host/services/modules.h"
#include "host/ui/form.h"

namespace host {

const char* const* FrameworkUnitNames(int& count) {
    // The framework initializes itself on first use, so its units carry no
    // routines of their own; they are listed to keep a module's table in the
    // order the host starts things.
    static const char* const names[] = {
        "Variants",     "Db",          "DBClient",   "Forms",         "Controls",
        "StdCtrls",     "ExtCtrls",    "ComCtrls",   "Grids",         "DBGrids",
        "Menus",        "Dialogs",     "Mor_msg",    "Consiste",      "Showavi",
        "Pesqlista",    "Morvane",     "Adoibquery", "Dtmdbgeral",    "Netconn",
        "Dateeditplus", "Btnpesquisa", "Buttonflat", "Frmpadraogrid", "Frmfiltropadr",
    };
    count = static_cast<int>(sizeof names / sizeof names[0]);
    return names;
}

namespace {

void reportToHost(const char* entry) {
    try {
        throw;
    } catch (const std::exception& error) {
        Application().HandleException(error);
    } catch (...) {
        Application().HandleException(std::runtime_error(std::string("Unknown error in ") + entry));
    }
}

// Translated resources ship next to the module as <module>.res; without them
// the module itself serves.
std::string resourceFileFor(const std::string& moduleFile) {
    std::error_code error;
    const std::filesystem::path translated =
        std::filesystem::path(moduleFile).replace_extension(".res");
    return std::filesystem::exists(translated, error) ? translated.string() : moduleFile;
}

}  // namespace

ModulePackage::ModulePackage(const char* fallbackFileName, std::vector<PackageUnitEntry> ownUnits,
                             void (*openScreen)())
    : m_fallbackFileName(fallbackFileName), m_openScreen(openScreen) {
    int count = 0;
    const char* const* names = FrameworkUnitNames(count);
    for (int i = 0; i < count; ++i) {
        m_units.push_back({names[i], nullptr, nullptr});
    }
    m_units.insert(m_units.end(), ownUnits.begin(), ownUnits.end());
    m_table = PackageInfoTable{static_cast<int>(m_units.size()), m_units.data()};
}

void ModulePackage::Attach(const void* addressInModule) noexcept {
    try {
        Dl_info info{};
        m_attachedFileName = dladdr(addressInModule, &info) != 0 && info.dli_fname != nullptr
                                 ? std::string(info.dli_fname)
                                 : m_fallbackFileName;
        RegisterModule({m_attachedFileName, resourceFileFor(m_attachedFileName)});
    } catch (...) {
        // Attaching always succeeds; a module missing from the list is harmless.
    }
}

void ModulePackage::Detach() noexcept {
    try {
        UnregisterModule(m_attachedFileName);
    } catch (...) {
    }
}

void ModulePackage::IniProc() noexcept {
    try {
        m_openScreen();
    } catch (...) {
        reportToHost("IniProc");
    }
}

void ModulePackage::Initialize() noexcept {
    try {
        for (const PackageUnitEntry& unit : m_units) {
            if (unit.initialization != nullptr) {
                unit.initialization();
            }
        }
    } catch (...) {
        reportToHost("Initialize");
    }
}

void ModulePackage::Finalize() noexcept {
    try {
        for (auto unit = m_units.rbegin(); unit != m_units.rend(); ++unit) {
            if (unit->finalization != nullptr) {
                unit->finalization();
            }
        }
    } catch (...) {
        reportToHost("Finalize");
    }
}

}  // namespace host
