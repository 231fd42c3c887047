#include "history_screen/package.h"

#include <dlfcn.h>

#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "history_screen/unit.h"
#include "host/services/modules.h"
#include "host/ui/form.h"

namespace {

// Unit table: the framework's units, then the screen's; finalization runs in
// the reverse order.
const PackageInfoTable& packageTable() {
    static const std::vector<PackageUnitEntry> units = [] {
        std::vector<PackageUnitEntry> list;
        int count = 0;
        const char* const* names = host::FrameworkUnitNames(count);
        for (int i = 0; i < count; ++i) {
            list.push_back({names[i], nullptr, nullptr});
        }
        list.push_back(
            {"Cli_ore06110", &Cli_ore06110::UnitInitialization, &Cli_ore06110::UnitFinalization});
        return list;
    }();
    static const PackageInfoTable table{static_cast<int>(units.size()), units.data()};
    return table;
}

void reportToHost(const char* entry) {
    try {
        throw;
    } catch (const std::exception& error) {
        host::Application().HandleException(error);
    } catch (...) {
        host::Application().HandleException(
            std::runtime_error(std::string("Unknown error in ") + entry));
    }
}

// The module's own file, found from an address inside it.
std::string moduleFileName() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&packageTable), &info) != 0 && info.dli_fname) {
        return info.dli_fname;
    }
    return "libPKG_ORE06110.so";
}

// Translated resources ship next to the module as <module>.res; without them
// the module itself serves.
std::string resourceFileFor(const std::string& moduleFile) {
    std::error_code error;
    const std::filesystem::path translated =
        std::filesystem::path(moduleFile).replace_extension(".res");
    return std::filesystem::exists(translated, error) ? translated.string() : moduleFile;
}

std::string& attachedFileName() {
    static std::string name;
    return name;
}

__attribute__((constructor)) void moduleAttach() {
    try {
        attachedFileName() = moduleFileName();
        host::RegisterModule({attachedFileName(), resourceFileFor(attachedFileName())});
    } catch (...) {
        // Attaching always succeeds; a module missing from the list is harmless.
    }
}

__attribute__((destructor)) void moduleDetach() {
    try {
        host::UnregisterModule(attachedFileName());
    } catch (...) {
    }
}

}  // namespace

extern "C" {

void IniProc() {
    try {
        Cli_ore06110::CriaHistCancAprov();
    } catch (...) {
        reportToHost("IniProc");
    }
}

void Initialize() {
    try {
        const PackageInfoTable& table = packageTable();
        for (int i = 0; i < table.unitCount; ++i) {
            if (table.units[i].initialization != nullptr) {
                table.units[i].initialization();
            }
        }
    } catch (...) {
        reportToHost("Initialize");
    }
}

void Finalize() {
    try {
        const PackageInfoTable& table = packageTable();
        for (int i = table.unitCount - 1; i >= 0; --i) {
            if (table.units[i].finalization != nullptr) {
                table.units[i].finalization();
            }
        }
    } catch (...) {
        reportToHost("Finalize");
    }
}

const PackageInfoTable* GetPackageInfoTable() {
    return &packageTable();
}
}
