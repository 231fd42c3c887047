#pragma once

namespace ore::proto {

// Settings of the gRPC runtime for the whole process, made once at the start
// of main by every program that talks gRPC.
//
// Debian's Abseil is built with its debug default, under which every lock
// gRPC takes is tracked for ordering cycles: about 6% of a small call's
// instructions on each side. This puts back the release default, which
// tracks nothing.
void useReleaseLockChecks();

}  // namespace ore::proto
