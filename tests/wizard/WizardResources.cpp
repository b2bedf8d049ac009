#include "tests/wizard/WizardResources.h"

#include <cstdint>
#include <string>
#include <vector>

#include "camera/ResourceState.h"

namespace xqt::test {

namespace {

std::vector<std::uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

}  // namespace

void InstallWizardResources(platform::MemoryResources& res) {
    res.AddString(103, "Windows sockets initialization failed.");
    res.AddString(122, "1.23");
    res.AddString(123, "Error");
    res.AddString(124, "Not found the upgrade file. ");
    res.Add(platform::ResourceType::Bin, RES_MODEL_LIST, 0,
            Bytes(std::string("XQT-TR60\r\nXQT-TR60N\r\nXQT-TR60P\0\r\n", 32)));
    res.Add(platform::ResourceType::Bin, RES_SLOT_KEYS, 0, Bytes(std::string(" \r\n \r\n \r\n \r\n \0", 14)));
    res.Add(platform::ResourceType::Bin, RES_FIRST_IMAGE, 0, Bytes("IMAGE-ZERO"));
    res.Add(platform::ResourceType::Version, 1, 1033,
            Bytes("Translation=0409 04B0\n040904B0.FileDescription=Vexo XQT-TR60 firmware upgrade tool\n"
                  "040904B0.SpecialBuild=\n"));

    res.Add(
        platform::ResourceType::Icon, 128, 0,
        Bytes(
            "/* XPM */\nstatic const char* icon[] = {\n\"2 2 1 1\",\n\"a c #FF9933\",\n\"aa\",\n\"aa\"};\n"));

    res.AddText(120, "Input the correct IP address of the target camera.");
    res.AddText(
        134,
        "Operating Precautions\r\n\r\n\r\nYou are strongly recommended that the target camera should be "
        "in the same segment. ",
        false);
    res.AddText(138, "Cannot find the upgrade file.");
    res.AddText(139, "Error");
    res.AddText(140, "License Agreement\r\n\r\n");
    for (int i = 1; i <= 10; ++i)
        res.AddText(static_cast<std::uint16_t>(148 + i),
                    std::to_string(i) + ". Section " + std::to_string(i) + ".\r\n");
    res.AddText(159, "&Next >");
    res.AddText(162, "< &Back");
    res.AddText(165, "Cancel");
    res.AddText(
        168,
        "Automatic mode detects any appropriate model in the same segment of the network that this PC is "
        "connected to and upgrade them automatically.\r\n\r\nManual mode is used to upgrade cameras one "
        "by one.");
    res.AddText(170, "&Agree");
    res.AddText(171, "N&ot agree", false);
    res.AddText(178, "&Upgrade mode");
    res.AddText(179, "Automatic mode");
    res.AddText(180, "Manual mode");
    res.AddText(194, "&Finish");
    res.AddText(195, "&Re-try");
    res.AddText(200, "Version up is in progress. Do not turn off the power.");
    res.AddText(203, "Information");
    res.AddText(206, "Version up error.");
    res.AddText(209, "Proceed to the firmware upgrade?");
    res.AddText(212, "Cannot find the camera. (The camera may be turned off.)");
    res.AddText(218, "Target information");
    res.AddText(219, "IP address");
    res.AddText(222, "Firmware program was successfully updated to the camera.\r\n\r\n\r\n");
    res.AddText(225, "Network error occurred.\r\nPlease retry the upgrade without shutting down the power.");
    res.AddText(234, "Target camera version is \"");
    res.AddText(235, "\".");
    res.AddText(236, "Current version");
    res.AddText(237, "Version information");
    res.AddText(238, "New version");
    res.AddText(248, "Quit the firmware upgrade?");
    res.AddText(266, "&Upgrade");
    res.AddText(267, "&Abort");
    res.AddText(268, "&Finish");
    res.AddText(308, "Input the correct name and password.");
    res.AddText(310, "Input the correct port No. of the target camera.");
    res.AddText(319, "Missing target.(Network error) Searching now.");
    res.AddText(320, "Overwriting");
    res.AddText(321, "Completed");
    res.AddText(322, "Rebooting");
    res.AddText(323, "Uploading");
    res.AddText(357, "Loading config file");
    res.AddText(359, "Reconfiguring");
    res.AddText(360, "Saving config file");
    res.AddText(361, "Prepare");
}

platform::EngineTiming FastTiming() {
    platform::EngineTiming timing = platform::EngineTiming{}.Scaled(0.001);
    timing.discoveryEnquiryInterval = std::chrono::milliseconds(50);
    timing.discoveryDuration = std::chrono::milliseconds(100);
    timing.restartWatchLimit = std::chrono::milliseconds(300);
    return timing;
}

}  // namespace xqt::test
