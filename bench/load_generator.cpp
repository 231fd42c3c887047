#include "bench/load_generator.h"

#include <grpcpp/grpcpp.h>
#include <sys/resource.h>

#include <memory>

#include "bench/figures.h"
#include "ore06100.grpc.pb.h"

namespace bench {

namespace {

struct Usage {
    double cpuSeconds = 0;
    long long contextSwitches = 0;
};

Usage processUsage() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    return {seconds(usage.ru_utime) + seconds(usage.ru_stime),
            static_cast<long long>(usage.ru_nvcsw) + static_cast<long long>(usage.ru_nivcsw)};
}

struct Slot {
    std::unique_ptr<grpc::ClientContext> context;
    ORE06100::GetItemEncRequest request;
    ORE06100::GetItemEncReply reply;
    grpc::Status status;
    std::unique_ptr<grpc::ClientAsyncResponseReader<ORE06100::GetItemEncReply>> reader;
    Clock::time_point started;
    ORE06100::rdmCancAprovEnc::Stub* stub = nullptr;
};

}  // namespace

LoadResult runItemLoad(const std::string& target, const std::vector<ore::server::OrderKey>& keys,
                       int clients, int channels, std::chrono::milliseconds duration,
                       const std::string& token) {
    std::vector<std::unique_ptr<ORE06100::rdmCancAprovEnc::Stub>> stubs;
    for (int index = 0; index < std::max(1, channels); ++index) {
        grpc::ChannelArguments arguments;
        // A connection of its own for each channel, as separate clients have.
        arguments.SetInt("ore.bench.channel", index);
        arguments.SetInt(GRPC_ARG_USE_LOCAL_SUBCHANNEL_POOL, 1);
        arguments.SetLoadBalancingPolicyName("round_robin");
        stubs.push_back(ORE06100::rdmCancAprovEnc::NewStub(
            grpc::CreateCustomChannel(target, grpc::InsecureChannelCredentials(), arguments)));
    }
    grpc::CompletionQueue queue;
    std::vector<Slot> slots(static_cast<std::size_t>(std::max(1, clients)));
    std::size_t next = 0;
    auto startCall = [&](Slot& slot) {
        const ore::server::OrderKey& key = keys[next++ % keys.size()];
        slot.context = std::make_unique<grpc::ClientContext>();
        slot.context->set_wait_for_ready(true);
        slot.context->AddMetadata("ore-session", token);
        slot.context->set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(10));
        slot.request.mutable_key()->set_branch(key.branch);
        slot.request.mutable_key()->set_order_number(key.number);
        slot.request.mutable_key()->set_sequence(key.sequence);
        slot.reply.Clear();
        slot.started = Clock::now();
        slot.reader = slot.stub->AsyncGetItemEnc(slot.context.get(), slot.request, &queue);
        slot.reader->Finish(&slot.reply, &slot.status, &slot);
    };

    LoadResult result;
    std::vector<double> latencies;
    latencies.reserve(200000);
    const Usage usageAtStart = processUsage();
    const auto start = Clock::now();
    const auto end = start + duration;
    for (std::size_t index = 0; index < slots.size(); ++index) {
        slots[index].stub = stubs[index % stubs.size()].get();
        startCall(slots[index]);
    }
    std::size_t inFlight = slots.size();
    while (inFlight > 0) {
        void* tag = nullptr;
        bool ok = false;
        if (!queue.Next(&tag, &ok)) {
            break;
        }
        Slot& slot = *static_cast<Slot*>(tag);
        const auto now = Clock::now();
        if (ok && slot.status.ok()) {
            ++result.calls;
            latencies.push_back(
                std::chrono::duration<double, std::milli>(now - slot.started).count());
        } else {
            ++result.failures;
        }
        if (now < end) {
            startCall(slot);
        } else {
            --inFlight;
        }
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const Usage usageAtEnd = processUsage();
    if (result.calls > 0) {
        const auto calls = static_cast<double>(result.calls);
        result.cpuMicrosecondsPerCall =
            (usageAtEnd.cpuSeconds - usageAtStart.cpuSeconds) * 1e6 / calls;
        result.contextSwitchesPerCall =
            static_cast<double>(usageAtEnd.contextSwitches - usageAtStart.contextSwitches) / calls;
    }
    queue.Shutdown();
    void* tag = nullptr;
    bool ok = false;
    while (queue.Next(&tag, &ok)) {
    }
    result.p50 = quantile(latencies, 0.50);
    result.p99 = quantile(latencies, 0.99);
    return result;
}

}  // namespace bench
