#include "host/services/session.h"

#include <utility>

#include "host/data/exceptions.h"

namespace host {

namespace {

struct Registry {
    Session session;
    std::map<std::string, ScreenOpener> screens;
    std::function<void(const Variant&)> cacheListener;
    std::function<bool()> renewer;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

}  // namespace

Session& CurrentSession() {
    return registry().session;
}

void RegisterScreen(const std::string& screenCode, ScreenOpener opener) {
    registry().screens[screenCode] = std::move(opener);
}

void UnregisterScreen(const std::string& screenCode) {
    registry().screens.erase(screenCode);
}

void SetSessionRenewer(std::function<bool()> renewer) {
    registry().renewer = std::move(renewer);
}

bool RenewSession() {
    // A copy: the renewer may replace itself while it runs.
    const std::function<bool()> renewer = registry().renewer;
    return renewer ? renewer() : false;
}

void SetLocalCacheListener(std::function<void(const Variant& tables)> listener) {
    registry().cacheListener = std::move(listener);
}

namespace Morvane {

std::string WebURL() {
    return CurrentSession().serverHost;
}
int WebPort() {
    return CurrentSession().serverPort;
}
std::string FiliProc() {
    return CurrentSession().branchCode;
}
std::string NomeFiliProc() {
    return CurrentSession().branchName;
}
bool ModuFili() {
    return CurrentSession().fixedBranch;
}
std::string Operador() {
    return CurrentSession().operatorCode;
}

std::string DBPict(int pictureType) {
    const auto& pictures = CurrentSession().pictures;
    const auto found = pictures.find(pictureType);
    return found == pictures.end() ? std::string() : found->second;
}

void LoadBPL(const std::string& screenCode, const Variant& params) {
    const auto& screens = registry().screens;
    const auto found = screens.find(screenCode);
    if (found == screens.end()) {
        throw Exception("Módulo da tela " + screenCode + " não encontrado.");
    }
    found->second(params);
}

void AtualizaLocalCache(const Variant& tables) {
    if (registry().cacheListener) {
        registry().cacheListener(tables);
    }
}

}  // namespace Morvane

}  // namespace host
