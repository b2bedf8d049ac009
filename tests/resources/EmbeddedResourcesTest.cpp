// The executable really carries its resources: read them back through the lookup layer.
#include <gtest/gtest.h>

#include "camera/ResourceState.h"
#include "platform/PlaceholderImage.h"
#include "platform/ResourceText.h"
#include "platform/Resources.h"

namespace xqt {
namespace {

class EmbeddedResourcesTest : public ::testing::Test {
  protected:
    void SetUp() override { platform::UseResources(platform::EmbeddedResources()); }
};

TEST_F(EmbeddedResourcesTest, ImageOfSlotZeroIsThePlaceholderOfTheDeliveredSize) {
    auto image = platform::Resources().Find(platform::ResourceType::Bin, RES_FIRST_IMAGE);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), 10'035'200u);
    EXPECT_EQ(platform::PlaceholderImageVersion(*image), "1.23");
    // Deterministic: the generator gives the same bytes again.
    auto again = platform::MakePlaceholderImage(10'035'200, "1.23");
    EXPECT_TRUE(std::equal(image->begin(), image->end(), again.begin()));
}

TEST_F(EmbeddedResourcesTest, DeliveredStateLoadsWithoutAnyBox) {
    platform::RecordingMessageBoxes boxes;
    ResourceState state;
    state.LoadAll(&boxes);
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_EQ(state.versionLabel, "ver1.23");
    EXPECT_EQ(state.Banner(), "XQT-TR60 ver1.23 Firmware Upgrade");
    EXPECT_EQ(state.WindowTitle(), "Vexo XQT-TR60 ver1.23 Firmware Upgrade");
    EXPECT_EQ(state.provisionalTitle, "Vexo XQT-TR60 firmware upgrade tool");
    EXPECT_EQ(state.slotSize[0], 10'035'200u);
    EXPECT_EQ(state.modelNames[2], "XQT-TR60P");
    EXPECT_FALSE(state.modelNames[3].has_value());
}

TEST_F(EmbeddedResourcesTest, StringTableAndTexts) {
    EXPECT_EQ(platform::LoadString(103), "Windows sockets initialization failed.");
    EXPECT_EQ(platform::LoadString(122), "1.23");
    EXPECT_EQ(platform::LoadString(123), "Error");
    EXPECT_EQ(platform::LoadString(124), "Not found the upgrade file. ");
    EXPECT_EQ(platform::TextOf(138), "Cannot find the upgrade file.");
    EXPECT_EQ(platform::TextOf(139), "Error");
    auto raw = platform::Resources().Find(platform::ResourceType::Bin, 139, platform::LANG_EN_US);
    ASSERT_TRUE(raw);
    // FF FE, "Error" in UTF-16LE, one NUL unit.
    ASSERT_EQ(raw->size(), 2u + 5 * 2 + 2);
    EXPECT_EQ((*raw)[0], 0xFF);
    EXPECT_EQ((*raw)[1], 0xFE);
    EXPECT_EQ((*raw)[12], 0);
    EXPECT_EQ((*raw)[13], 0);
    EXPECT_TRUE(platform::Resources().Find(platform::ResourceType::Icon, 128));
}

}  // namespace
}  // namespace xqt
