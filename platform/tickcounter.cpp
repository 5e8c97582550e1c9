#include "platform/tickcounter.h"

#include <time.h>

namespace {
std::atomic<const TickSource*> g_source{nullptr};
}

std::uint32_t GetTickCount() {
    if (const TickSource* s = g_source.load(std::memory_order_acquire)) return s->Now();
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const auto ms = std::uint64_t(ts.tv_sec) * 1000u + std::uint64_t(ts.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

void SetTickSource(const TickSource* source) {
    g_source.store(source, std::memory_order_release);
}
