// libFuzzer target: any bytes, read as a SetEncomenda request, through what
// the server does before it touches the database: the packet decoder with
// the request limits, then the change-log reader. Only their refusals may
// come out; any other exception, crash or sanitizer report is a finding.
#include <cstddef>
#include <cstdint>

#include "ore06100.pb.h"
#include "proto/packet_codec.h"
#include "server/order_rules.h"
#include "server/service_error.h"

// The entry libFuzzer calls, by the name it gives.
extern "C" int LLVMFuzzerTestOneInput(  // NOLINT(readability-identifier-naming)
    const std::uint8_t* data, std::size_t size) {
    ORE06100::SetEncomendaRequest request;
    if (!request.ParseFromArray(data, static_cast<int>(size))) {
        return 0;
    }
    try {
        const host::DataPacket delta =
            ore::proto::decodePacket(request.delta(), ore::proto::requestLimits);
        ore::server::readDelta(delta);
    } catch (const ore::proto::PacketCodecError&) {
    } catch (const ore::server::ServiceError&) {
    }
    return 0;
}
