#pragma once

#include <cstddef>
#include <functional>

#include "host/data/data_packet.h"
#include "host/data/exceptions.h"
#include "ore06100.pb.h"

namespace ore::proto {

// A packet that cannot be put on the wire or read from it.
class PacketCodecError : public host::Exception {
public:
    using host::Exception::Exception;
};

// Chunks of a streamed packet stay near this size, well under gRPC's default
// receive limit.
inline constexpr std::size_t defaultChunkBytes = 256 * 1024;

// Cells are written as their field's type asks (a number in a string field
// travels as its text); raises PacketCodecError for a cell that cannot be
// (an array or a packet inside a packet, text in a numeric field).
void encodePacket(const host::DataPacket& packet, ORE06100::Packet& message);
host::DataPacket decodePacket(const ORE06100::Packet& message);

// Splits the packet into chunks of about maxChunkBytes and hands each to the
// sink in order; the first carries the field definitions. An empty packet
// gives one chunk. Stops early, returning false, when the sink returns false.
bool encodeChunks(const host::DataPacket& packet, std::size_t maxChunkBytes,
                  const std::function<bool(ORE06100::Packet&)>& sink);

// Rebuilds one packet from its chunks, in the order they were sent.
class PacketAssembler {
public:
    // Raises PacketCodecError for a chunk that does not fit the first one.
    void add(const ORE06100::Packet& chunk);
    bool empty() const { return !m_started; }
    host::DataPacket take();

private:
    bool m_started = false;
    host::DataPacket m_packet;
};

}  // namespace ore::proto
