#pragma once

#include <string>
#include <vector>

namespace host {

// A module the process has loaded, as it registered itself on attach.
struct LoadedModule {
    std::string fileName;      // full path of the module file
    std::string resourceFile;  // translated resources next to it, or the module itself
};

void RegisterModule(const LoadedModule& module);
void UnregisterModule(const std::string& fileName);
std::vector<LoadedModule> LoadedModules();

}  // namespace host
