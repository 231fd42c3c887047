// The hand-over between the thread reading a list and the thread sending it:
// order kept, the read-ahead bounded, a sender that stops or fails stops the
// reader, and a reader that fails leaves nothing running.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "server/packet_relay.h"

namespace {

using host::DataPacket;
using host::Variant;
using ore::server::PacketRelay;

DataPacket packetOf(std::int64_t number) {
    DataPacket packet;
    packet.rows.push_back({Variant(number)});
    return packet;
}

std::int64_t numberOf(const DataPacket& packet) {
    return packet.rows.at(0).at(0).AsInteger();
}

TEST(PacketRelayTest, SendsEveryPacketInOrder) {
    std::vector<std::int64_t> sent;
    PacketRelay relay(1, [&](DataPacket& packet) {
        sent.push_back(numberOf(packet));
        return true;
    });
    for (std::int64_t number = 0; number < 50; ++number) {
        DataPacket packet = packetOf(number);
        ASSERT_TRUE(relay.push(packet));
        EXPECT_TRUE(packet.rows.empty()) << "the relay takes the packet";
    }
    EXPECT_TRUE(relay.finish());
    std::vector<std::int64_t> expected;
    for (std::int64_t number = 0; number < 50; ++number) {
        expected.push_back(number);
    }
    EXPECT_EQ(sent, expected);
}

TEST(PacketRelayTest, ReadsAtMostDepthAheadOfABlockedSender) {
    std::mutex mutex;
    std::condition_variable changed;
    bool release = false;
    std::atomic<int> sending{0};
    PacketRelay relay(1, [&](DataPacket&) {
        ++sending;
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return release; });
        return true;
    });
    std::atomic<int> pushed{0};
    std::thread reader([&] {
        for (std::int64_t number = 0; number < 5; ++number) {
            DataPacket packet = packetOf(number);
            if (!relay.push(packet)) {
                return;
            }
            ++pushed;
        }
    });
    // One packet in the sender, one waiting: the third push waits.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while ((sending.load() < 1 || pushed.load() < 2) && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(sending.load(), 1);
    EXPECT_EQ(pushed.load(), 2);
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    changed.notify_all();
    reader.join();
    EXPECT_EQ(pushed.load(), 5);
    EXPECT_TRUE(relay.finish());
    EXPECT_EQ(sending.load(), 5);
}

TEST(PacketRelayTest, ASenderThatStopsStopsTheReader) {
    std::atomic<int> calls{0};
    PacketRelay relay(1, [&](DataPacket& packet) {
        ++calls;
        return numberOf(packet) < 2;  // the client goes away at the third
    });
    int accepted = 0;
    for (std::int64_t number = 0; number < 1000; ++number) {
        DataPacket packet = packetOf(number);
        if (!relay.push(packet)) {
            break;
        }
        ++accepted;
    }
    EXPECT_FALSE(relay.finish());
    EXPECT_EQ(calls.load(), 3) << "nothing is sent after the sender stopped";
    EXPECT_LT(accepted, 1000);
}

TEST(PacketRelayTest, ASenderErrorReachesTheReader) {
    PacketRelay relay(1, [&](DataPacket& packet) {
        if (numberOf(packet) == 1) {
            throw std::runtime_error("encoding failed");
        }
        return true;
    });
    for (std::int64_t number = 0; number < 100; ++number) {
        DataPacket packet = packetOf(number);
        if (!relay.push(packet)) {
            break;
        }
    }
    try {
        relay.finish();
        FAIL() << "the sender's error was lost";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "encoding failed");
    }
}

TEST(PacketRelayTest, AReaderErrorDropsWhatWaitsAndEnds) {
    std::atomic<int> calls{0};
    std::mutex mutex;
    std::condition_variable changed;
    bool release = false;
    std::thread releaser;
    auto failingRead = [&] {
        PacketRelay relay(1, [&](DataPacket&) {
            ++calls;
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return release; });
            return true;
        });
        DataPacket first = packetOf(0);
        relay.push(first);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (calls.load() < 1 && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        DataPacket second = packetOf(1);
        EXPECT_TRUE(relay.push(second));  // waits behind the one being sent
        // The send in progress ends a while after the read has failed.
        releaser = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            {
                std::lock_guard lock(mutex);
                release = true;
            }
            changed.notify_all();
        });
        throw std::runtime_error("read failed");
    };
    EXPECT_THROW(failingRead(), std::runtime_error);
    releaser.join();
    // The relay's thread ended with the relay; the packet still waiting was
    // dropped, not sent after the call had failed.
    EXPECT_EQ(calls.load(), 1);
}

}  // namespace
