#include "host/services/handles.h"

#include <map>

namespace host {

namespace {

struct HandleTable {
    std::map<std::int64_t, TClientDataSet*> byHandle;
    std::map<TClientDataSet*, std::int64_t> byObject;
    std::int64_t next = 1;
};

HandleTable& table() {
    static HandleTable instance;
    return instance;
}

}  // namespace

std::int64_t HandleOf(TClientDataSet* dataSet) {
    auto& handles = table();
    const auto found = handles.byObject.find(dataSet);
    if (found != handles.byObject.end()) {
        return found->second;
    }
    const std::int64_t handle = handles.next++;
    handles.byHandle[handle] = dataSet;
    handles.byObject[dataSet] = handle;
    return handle;
}

TClientDataSet* DataSetFromHandle(std::int64_t handle) {
    const auto& handles = table();
    const auto found = handles.byHandle.find(handle);
    return found == handles.byHandle.end() ? nullptr : found->second;
}

void ForgetHandle(TClientDataSet* dataSet) {
    auto& handles = table();
    const auto found = handles.byObject.find(dataSet);
    if (found != handles.byObject.end()) {
        handles.byHandle.erase(found->second);
        handles.byObject.erase(found);
    }
}

}  // namespace host
