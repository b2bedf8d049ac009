// Address-list import on arbitrary bytes: never crashes, and either accepts the whole text silently
// with at most 256 well-formed entries or refuses it with exactly one message.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "camera/HostPort.h"
#include "fleet/AddressListParser.h"
#include "platform/Clipboard.h"
#include "platform/MessageBoxes.h"
#include "platform/Resources.h"

namespace {

const xqt::platform::MemoryResources& Texts() {
    static xqt::platform::MemoryResources* res = [] {
        auto* r = new xqt::platform::MemoryResources;
        r->AddText(203, "Information");
        r->AddText(305, "Invalid format.");
        r->AddText(306, "Invalid format.");
        r->AddText(307, "Invalid address or port number.\r\n%s");
        return r;
    }();
    return *res;
}

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    xqt::platform::UseResources(Texts());
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    xqt::platform::RecordingMessageBoxes boxes;
    xqt::AddressListParser parser(boxes);
    const bool accepted = parser.LoadText(bytes);
    if (accepted) {
        Check(boxes.Count() == 0);
        Check(parser.EntryCount() <= xqt::MAX_CAMERAS);
        for (const xqt::AddressEntry& e : parser.Entries())
            Check((e.port == 80 || (e.port >= 1024 && e.port <= 65535)) && !xqt::NonUnicastKind(e.address));
        Check(!parser.Get(parser.EntryCount()));
    } else {
        Check(boxes.Count() == 1);
        Check(parser.EntryCount() == 0);
        const std::string text = boxes.Taken()[0].text;
        if (!parser.ErrorLine().empty()) {
            Check(text.size() >= parser.ErrorLine().size());
            Check(text.compare(text.size() - parser.ErrorLine().size(), std::string::npos,
                               parser.ErrorLine()) == 0);
        }
    }

    // The clipboard path reads the same text the same way.
    xqt::platform::RecordingMessageBoxes clipBoxes;
    xqt::platform::MemoryClipboard clipboard(bytes);
    xqt::AddressListParser fromClipboard(clipBoxes, &clipboard);
    Check(fromClipboard.LoadClipboard() == accepted);
    Check(fromClipboard.Entries() == parser.Entries());
    Check(clipBoxes.Count() == boxes.Count());
    return 0;
}
