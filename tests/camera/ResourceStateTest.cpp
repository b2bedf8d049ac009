// Loading of the embedded resources from stand-in byte arrays: texts, model list, slot keys,
// image slots, version label, banner and title, and the start-up of the program.
#include <gtest/gtest.h>

#include "camera/ResourceState.h"
#include "platform/ResourceText.h"
#include "platform/Resources.h"
#include "wizard/UpgradeApp.h"

namespace xqt {
namespace {

using platform::MbIcon;
using platform::MemoryResources;
using platform::RecordingMessageBoxes;
using platform::ResourceType;

std::vector<std::uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

class ResourceStateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        res.AddString(103, "Windows sockets initialization failed.");
        res.AddString(122, "1.23");
        res.AddString(123, "Error");
        res.AddString(124, "Not found the upgrade file. ");
        res.AddText(138, "Cannot find the upgrade file.");
        res.AddText(139, "Error");
        res.Add(ResourceType::Bin, RES_MODEL_LIST, 0,
                Bytes(std::string("XQT-TR60\r\nXQT-TR60N\r\nXQT-TR60P\0\r\n", 32)));
        res.Add(ResourceType::Bin, RES_SLOT_KEYS, 0, Bytes(std::string(" \r\n \r\n \r\n \r\n \0", 14)));
        res.Add(ResourceType::Bin, RES_FIRST_IMAGE, 0, Bytes("IMAGE-ZERO"));
        res.Add(ResourceType::Version, 1, 1033,
                Bytes("Translation=0409 04B0\n040904B0.FileDescription=Vexo XQT-TR60 firmware upgrade tool\n"
                      "040904B0.SpecialBuild=\n"));
        platform::UseResources(res);
    }
    void TearDown() override { platform::UseResources(empty); }

    MemoryResources res, empty;
    RecordingMessageBoxes boxes;
    ResourceState state;
};

TEST_F(ResourceStateTest, TextStopsAtNulOrRunsToTheEndOfTheResource) {
    res.AddText(200, "Version up is in progress. Do not turn off the power.");
    res.AddText(171, "N&ot agree", false);
    std::vector<std::uint8_t> withTail = platform::EncodeBinText("Shown", true);
    for (char c : std::string("hidden"))
        withTail.insert(withTail.end(), {static_cast<std::uint8_t>(c), 0});
    res.Add(ResourceType::Bin, 250, 1033, withTail);

    EXPECT_EQ(platform::ResourceText(200, &boxes), "Version up is in progress. Do not turn off the power.");
    EXPECT_EQ(platform::ResourceText(171, &boxes), "N&ot agree");
    EXPECT_EQ(platform::ResourceText(250, &boxes), "Shown");
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(ResourceStateTest, TextsAreIndependentValuesNotOneSharedBuffer) {
    res.AddText(300, "first");
    res.AddText(301, "second");
    auto a = platform::ResourceText(300);
    auto b = platform::ResourceText(301);
    EXPECT_EQ(*a, "first");
    EXPECT_EQ(*b, "second");
}

TEST_F(ResourceStateTest, MissingTextShowsTheNotFoundBoxAndGivesNothing) {
    EXPECT_FALSE(platform::ResourceText(999, &boxes).has_value());
    auto shown = boxes.Taken();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Not found the upgrade file. ");
    EXPECT_EQ(shown[0].caption, "Error");
    EXPECT_EQ(shown[0].icon, MbIcon::Stop);
}

TEST_F(ResourceStateTest, DeliveredModelListGivesThreeNamesAndIgnoresWhatFollowsTheNul) {
    state.LoadModelList(&boxes);
    EXPECT_EQ(state.modelNames[0], "XQT-TR60");
    EXPECT_EQ(state.modelNames[1], "XQT-TR60N");
    EXPECT_EQ(state.modelNames[2], "XQT-TR60P");
    for (int i = 3; i < MAX_MODEL_NAMES; ++i)
        EXPECT_FALSE(state.modelNames[i].has_value()) << i;
}

TEST_F(ResourceStateTest, ModelListOfTwelveRowsKeepsTheFirstTen) {
    std::string text;
    for (int i = 1; i <= 12; ++i)
        text += "M" + std::to_string(i) + "\r\n";
    res.Add(ResourceType::Bin, RES_MODEL_LIST, 0, Bytes(text));
    state.LoadModelList(&boxes);
    EXPECT_EQ(state.modelNames[0], "M1");
    EXPECT_EQ(state.modelNames[9], "M10");
    EXPECT_TRUE(IsListedModel(state.modelNames, "M10"));
    EXPECT_FALSE(IsListedModel(state.modelNames, "M11"));
}

TEST_F(ResourceStateTest, ListedModelIsExactAndCaseSensitive) {
    state.LoadModelList(&boxes);
    EXPECT_TRUE(IsListedModel(state.modelNames, "XQT-TR60"));
    EXPECT_TRUE(IsListedModel(state.modelNames, "XQT-TR60P"));
    EXPECT_FALSE(IsListedModel(state.modelNames, "xqt-tr60"));
    EXPECT_FALSE(IsListedModel(state.modelNames, "XQT-TR6"));
    EXPECT_FALSE(IsListedModel(state.modelNames, ""));
}

TEST_F(ResourceStateTest, MissingModelListShowsOneBoxAndAcceptsNoModel) {
    res.Remove(ResourceType::Bin, RES_MODEL_LIST);
    state.LoadModelList(&boxes);
    auto shown = boxes.Taken();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Cannot find the upgrade file.");
    EXPECT_EQ(shown[0].caption, "Error");
    EXPECT_FALSE(IsListedModel(state.modelNames, "XQT-TR60"));
}

TEST_F(ResourceStateTest, BlankKeysLoadOnlySlotZeroAndSelectItForAnyDocType) {
    state.LoadSlotKeys(&boxes);
    for (const auto& key : state.slotKeys)
        EXPECT_EQ(key, "");
    state.LoadFirmwareSlots(&boxes);
    ASSERT_TRUE(state.slotData[0]);
    EXPECT_EQ(state.slotSize[0], 10u);
    for (int i = 1; i < IMAGE_SLOTS; ++i)
        EXPECT_FALSE(state.slotData[i]) << i;
    EXPECT_EQ(state.SelectSlot(""), 0);
    EXPECT_EQ(state.SelectSlot("B"), 0);
    EXPECT_EQ(state.slotIndex, 0);
}

TEST_F(ResourceStateTest, KeyedSlotsAreLoadedAndChosenByExactDocType) {
    res.Add(ResourceType::Bin, RES_SLOT_KEYS, 0, Bytes(std::string("A  \r\nB\r\n\r\nD\r\n\0", 15)));
    res.Add(ResourceType::Bin, 144, 0, Bytes("IMAGE-ONE"));
    res.Add(ResourceType::Bin, 146 + 1, 0, Bytes("IMAGE-FOUR!"));
    state.LoadSlotKeys(&boxes);
    EXPECT_EQ(state.slotKeys[0], "A");
    EXPECT_EQ(state.slotKeys[1], "B");
    EXPECT_EQ(state.slotKeys[2], "");
    EXPECT_EQ(state.slotKeys[3], "D");
    EXPECT_EQ(state.slotKeys[4], "");
    // Slot 3 is resource 146, the model list itself; it is loaded as the design says.
    state.LoadFirmwareSlots(&boxes);
    EXPECT_EQ(state.slotSize[1], 9u);
    EXPECT_EQ(state.slotSize[3], 32u);
    EXPECT_EQ(state.SelectSlot("B"), 1);
    EXPECT_EQ(state.SelectSlot("b"), 0);
    EXPECT_EQ(state.SelectSlot("D"), 3);
}

TEST_F(ResourceStateTest, MissingKeyedImageStopsLoadingWithOneBox) {
    res.Add(ResourceType::Bin, RES_SLOT_KEYS, 0, Bytes(std::string(" \r\nB\r\nC\r\n \r\n \0", 15)));
    state.LoadSlotKeys(&boxes);
    state.LoadFirmwareSlots(&boxes);
    EXPECT_TRUE(state.slotData[0]);
    EXPECT_FALSE(state.slotData[1]);
    EXPECT_FALSE(state.slotData[2]);
    EXPECT_EQ(boxes.Count(), 1u);
}

TEST_F(ResourceStateTest, VersionLabelBannerAndTitle) {
    state.LoadAll(&boxes);
    EXPECT_EQ(state.versionLabel, "ver1.23");
    EXPECT_EQ(state.provisionalTitle, "Vexo XQT-TR60 firmware upgrade tool");
    EXPECT_EQ(state.Banner(), "XQT-TR60 ver1.23 Firmware Upgrade");
    EXPECT_EQ(state.WindowTitle(), "Vexo XQT-TR60 ver1.23 Firmware Upgrade");
    EXPECT_EQ(state.GetImageInfo().versionLabel, "ver1.23");
    EXPECT_EQ(state.GetImageInfo().slotData[0], state.slotData[0]);
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(ResourceStateTest, SpecialBuildIsAppendedToTheLabel) {
    res.Add(ResourceType::Version, 1, 1033, Bytes("Translation=0409 04B0\n040904B0.SpecialBuild=b7\n"));
    state.BuildVersionLabel(&boxes);
    EXPECT_EQ(state.versionLabel, "ver1.23b7");
}

TEST(UpgradeAppTest, SocketFailureShowsOnlyTheSocketMessageAndEnds) {
    MemoryResources res;
    res.AddString(103, "Windows sockets initialization failed.");
    platform::UseResources(res);
    RecordingMessageBoxes boxes;
    bool wizardRan = false;
    UpgradeApp app{[] { return false; },
                   [&] {
                       wizardRan = true;
                       return 0;
                   },
                   &boxes};
    EXPECT_NE(app.Run(), 0);
    EXPECT_FALSE(wizardRan);
    auto shown = boxes.Taken();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Windows sockets initialization failed.");

    app.initSockets = [] { return true; };
    EXPECT_EQ(app.Run(), 0);
    EXPECT_TRUE(wizardRan);
    EXPECT_EQ(boxes.Count(), 1u);
    static MemoryResources empty;
    platform::UseResources(empty);
}

}  // namespace
}  // namespace xqt
