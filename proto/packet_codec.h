#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "host/data/column_packet.h"
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

// How large a decoded packet may grow. Every count and length of a message is
// checked against what the message itself carries and against these bounds
// before anything is allocated for it, so a small message cannot ask for a
// large packet.
struct DecodeLimits {
    std::size_t maxFields = 1024;
    std::size_t maxNameBytes = 128;
    // Over every chunk of one packet.
    std::size_t maxRows = 2'000'000;
    std::size_t maxCells = 64'000'000;
    // One text or blob value.
    std::size_t maxValueBytes = 64 * 1024 * 1024;
};

// What a client may send the server in one request: the change log of one
// order list, never a whole table.
inline constexpr DecodeLimits requestLimits{64, 64, 10'000, 400'000, 64 * 1024};

// Raises PacketCodecError (a Portuguese text) for a message that does not
// describe a packet, or one beyond the limits.
host::DataPacket decodePacket(const ORE06100::Packet& message, const DecodeLimits& limits = {});

// Splits the packet into chunks of about maxChunkBytes and hands each to the
// sink in order; the first carries the field definitions. An empty packet
// gives one chunk. Stops early, returning false, when the sink returns false.
bool encodeChunks(const host::DataPacket& packet, std::size_t maxChunkBytes,
                  const std::function<bool(ORE06100::Packet&)>& sink);

// Rebuilds one packet from its chunks, in the order they were sent, by
// column: each chunk's columns are appended as they arrive.
class PacketAssembler {
public:
    explicit PacketAssembler(DecodeLimits limits = {}) : m_limits(limits) {}
    // Raises PacketCodecError for a chunk that does not fit the first one.
    void add(const ORE06100::Packet& chunk);
    bool empty() const { return !m_started; }
    // The packet as it came, by column (a client data set keeps it as is).
    std::shared_ptr<const host::ColumnPacket> takeColumns();
    // The packet by rows.
    host::DataPacket take();

private:
    DecodeLimits m_limits;
    bool m_started = false;
    std::shared_ptr<host::ColumnPacket> m_packet;
};

}  // namespace ore::proto
