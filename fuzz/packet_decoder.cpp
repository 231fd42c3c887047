// libFuzzer target: any bytes, read as a packet message, through the packet
// decoder with the limits of a request and with those of a reply. A packet
// that decodes must encode again, and the second decoding must give the
// same message: the decoder accepts nothing the encoder cannot write back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ore06100.pb.h"
#include "proto/packet_codec.h"

namespace {

void roundTrip(const ORE06100::Packet& message, const ore::proto::DecodeLimits& limits) {
    host::DataPacket packet;
    try {
        packet = ore::proto::decodePacket(message, limits);
    } catch (const ore::proto::PacketCodecError&) {
        return;
    }
    ORE06100::Packet first;
    ore::proto::encodePacket(packet, first);
    ORE06100::Packet second;
    ore::proto::encodePacket(ore::proto::decodePacket(first, limits), second);
    if (first.SerializeAsString() != second.SerializeAsString()) {
        __builtin_trap();
    }
}

}  // namespace

// The entry libFuzzer calls, by the name it gives.
extern "C" int LLVMFuzzerTestOneInput(  // NOLINT(readability-identifier-naming)
    const std::uint8_t* data, std::size_t size) {
    ORE06100::Packet message;
    if (!message.ParseFromArray(data, static_cast<int>(size))) {
        return 0;
    }
    roundTrip(message, ore::proto::requestLimits);
    roundTrip(message, ore::proto::DecodeLimits{});

    // The same message as the chunks of a streamed list: itself twice, the
    // second time without its field definitions.
    ore::proto::PacketAssembler assembler(ore::proto::requestLimits);
    try {
        assembler.add(message);
        ORE06100::Packet next = message;
        next.clear_fields();
        assembler.add(next);
        assembler.take();
    } catch (const ore::proto::PacketCodecError&) {
    }
    return 0;
}
