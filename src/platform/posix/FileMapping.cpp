// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/FileMapping.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>
#include <cstring>
#include <mutex>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

namespace korvello::posix {

namespace {

// The mappings the SIGBUS handler may patch. A slot is free while its start is 0; the
// handler only reads, so a mapping is entered before it is used and cleared before it is
// unmapped.
struct Slot {
    std::atomic<std::uintptr_t> start{0};
    std::atomic<std::uintptr_t> end{0};
};
constexpr std::size_t kSlots = 64;
std::array<Slot, kSlots> g_slots;
std::uintptr_t g_pageSize = 4096;
struct sigaction g_previous {};

void PassOn(int signal, siginfo_t* info, void* context) {
    if ((g_previous.sa_flags & SA_SIGINFO) != 0 && g_previous.sa_sigaction != nullptr) {
        g_previous.sa_sigaction(signal, info, context);
        return;
    }
    if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
        g_previous.sa_handler(signal);
        return;
    }
    // Returning with the default action in place makes the access fault again, and the
    // program ends as it would have without this handler.
    ::signal(signal, SIG_DFL);
}

void OnBusError(int signal, siginfo_t* info, void* context) {
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (const Slot& slot : g_slots) {
        const std::uintptr_t start = slot.start.load(std::memory_order_acquire);
        const std::uintptr_t end = slot.end.load(std::memory_order_acquire);
        if (start == 0 || address < start || address >= end)
            continue;
        // The file lost its end: everything from this page on reads as zeros from now.
        const std::uintptr_t page = address & ~(g_pageSize - 1);
        void* zeros = ::mmap(reinterpret_cast<void*>(page), end - page, PROT_READ,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (zeros != MAP_FAILED)
            return;
    }
    PassOn(signal, info, context);
}

void InstallHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        g_pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
        struct sigaction action {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &g_previous);
    });
}

class Mapping final : public IFileMapping {
public:
    Mapping(void* start, std::size_t size, Slot& slot) : start_(start), size_(size), slot_(slot) {}
    ~Mapping() override {
        slot_.start.store(0, std::memory_order_release);
        slot_.end.store(0, std::memory_order_release);
        ::munmap(start_, size_);
    }
    std::span<const std::uint8_t> Bytes() const override {
        return {static_cast<const std::uint8_t*>(start_), size_};
    }

private:
    void* start_;
    std::size_t size_;
    Slot& slot_;
};

std::mutex g_slotMutex;

} // namespace

std::unique_ptr<IFileMapping> MapFile(int fd, std::int64_t size) {
    if (size <= 0)
        return nullptr;
    InstallHandler();
    const auto length = static_cast<std::size_t>(size);
    // Populated at once: the reader walks all of it, and one pass through the page cache
    // costs far less than a fault per page.
    void* start = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (start == MAP_FAILED)
        return nullptr;
    // A page the device could not deliver (an I/O error) is not in memory after the
    // populating pass; the file is then read instead, which reports the error.
    std::vector<unsigned char> resident((length + g_pageSize - 1) / g_pageSize);
    if (::mincore(start, length, resident.data()) != 0 ||
        std::any_of(resident.begin(), resident.end(),
                    [](unsigned char r) { return (r & 1) == 0; })) {
        ::munmap(start, length);
        return nullptr;
    }
    std::lock_guard lock(g_slotMutex);
    for (Slot& slot : g_slots) {
        if (slot.start.load(std::memory_order_acquire) != 0)
            continue;
        // The end first: the handler reads a slot as taken once its start is set.
        slot.end.store(reinterpret_cast<std::uintptr_t>(start) + length, std::memory_order_release);
        slot.start.store(reinterpret_cast<std::uintptr_t>(start), std::memory_order_release);
        return std::make_unique<Mapping>(start, length, slot);
    }
    // Every slot taken: without the handler's cover the file is read instead.
    ::munmap(start, length);
    return nullptr;
}

} // namespace korvello::posix
