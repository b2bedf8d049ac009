// Any bytes as received datagrams: no crash, every recorded field within its room, the table
// never beyond 256 cameras and `count` equal to the entries in use.
//
// The input is split at 0x03 0x02 into several datagrams, so one input can add, update and
// overflow entries. Each input gets a fresh table; a second table lives across inputs and fills
// up, so the full-table path is reached too.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "camera/DiscoveryReply.h"
#include "camera/DiscoveryResults.h"

namespace {

using namespace xqt;

const ModelList MODELS = {"XQT-TR60", "XQT-TR60N", "XQT-TR60P", std::string(31, 'M')};

// Refuses serials that start with '!', so both outcomes of the check are reached.
bool SerialCheck(const std::string& serial) {
    if (serial.size() > ROOM_SERIAL_CHECK - 1) std::abort();
    return serial.empty() || serial[0] != '!';
}

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

void CheckTable(const DiscoveryResults& results) {
    const auto entries = results.Snapshot();
    Check(entries.size() <= static_cast<std::size_t>(DISCOVERY_TABLE_SIZE), "at most 256 entries");
    Check(static_cast<std::size_t>(results.count.load()) == entries.size(), "count equals entries in use");
    for (const DiscoveryEntry& e : entries) {
        Check(e.model.size() <= ROOM_MODEL - 1, "model within 31 bytes");
        Check(e.serial.size() <= ROOM_SERIAL - 1, "serial within 11 bytes");
        Check(e.version.size() <= ROOM_VERSION - 1, "version within 15 bytes");
        Check(!e.mac.empty() && e.mac.size() <= ROOM_MAC - 1, "MAC set and within 17 bytes");
        Check(IsListedModel(MODELS, e.model), "only listed models");
        for (char c : e.model + e.serial + e.version + e.mac)
            Check(c != '\xFF' && c != '\0', "no terminators kept");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static DiscoveryResults lasting(MODELS, SerialCheck);
    DiscoveryResults fresh(MODELS, SerialCheck);
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (true) {
        const std::size_t split = rest.find("\x03\x02");
        const std::string_view datagram = rest.substr(0, std::min(split, DISCOVERY_DATAGRAM_MAX));
        fresh.HandleDatagram(datagram);
        lasting.HandleDatagram(datagram);
        if (split == std::string_view::npos) break;
        rest.remove_prefix(split + 2);
    }
    for (std::size_t room : {std::size_t{0}, std::size_t{1}, ROOM_MODEL}) {
        Check(
            ReadField(std::string_view(reinterpret_cast<const char*>(data), size), "MAC:", room).size() + 1 <=
                std::max<std::size_t>(room, 1),
            "ReadField within its room");
    }
    CheckTable(fresh);
    CheckTable(lasting);
    return 0;
}
