#include "proto/grpc_runtime.h"

#include <absl/synchronization/mutex.h>

namespace ore::proto {

void useReleaseLockChecks() {
    absl::SetMutexDeadlockDetectionMode(absl::OnDeadlockCycle::kIgnore);
}

}  // namespace ore::proto
