// The program's own rule set and the check that the rest of the program calls.
#include <new>

#include "serialrules/SerialProtect.h"

namespace ns_serial_protect {

namespace {

// The delivered rules accept every serial; other definitions change the decision without any
// other change to the program.
constexpr const char* kOrder = "allow,deny";
constexpr const char* kAllow = "all";
constexpr const char* kDeny = "none";

int CheckAnsi(const std::string& serial) {
    const SerialProtect* rules = g_serialProtect.load(std::memory_order_acquire);
    if (rules == nullptr) {
        InitSerialRules();
        rules = g_serialProtect.load(std::memory_order_acquire);
    }
    return rules->Check(serial) ? 1 : 0;
}

}  // namespace

std::atomic<const SerialProtect*> g_serialProtect{nullptr};

void InitSerialRules() {
    // The function-local static makes concurrent first callers wait for one construction; if it
    // ever threw, the next call would try again. The rule set lives on the heap and is never
    // freed, so a discovery thread still checking during process exit cannot meet a destroyed one.
    static const SerialProtect* const rules = [] {
        const auto* built = new SerialProtect(kOrder, kAllow, kDeny);
        g_serialProtect.store(built, std::memory_order_release);
        return built;
    }();
    (void)rules;
}

// A serial that cannot be checked (no memory for the rule set or the conversion) is refused: a
// camera is never upgraded on a guess.
int IsSerialAllowed(std::u16string_view serial) {
    try {
        return CheckAnsi(detail::Utf16ToAnsi(serial));
    } catch (const std::exception&) {
        return 0;
    }
}

int IsSerialAllowed(std::string_view serialUtf8) {
    try {
        return CheckAnsi(detail::Utf8ToAnsi(serialUtf8));
    } catch (const std::exception&) {
        return 0;
    }
}

int IsSerialAllowedAnsi(std::string_view serialAnsi) {
    try {
        return CheckAnsi(std::string(serialAnsi));
    } catch (const std::exception&) {
        return 0;
    }
}

SerialVerdict JudgeSerial(std::string_view serialUtf8) {
    return IsSerialAllowed(serialUtf8) == 1 ? SerialVerdict::Allowed : SerialVerdict::Refused;
}

SerialVerdict JudgeSerialAnsi(std::string_view serialAnsi) {
    return IsSerialAllowedAnsi(serialAnsi) == 1 ? SerialVerdict::Allowed : SerialVerdict::Refused;
}

}  // namespace ns_serial_protect
