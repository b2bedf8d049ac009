#pragma once
// The resource texts the list code shows, installed for one test and removed after it.
#include <gtest/gtest.h>

#include "platform/Resources.h"

namespace xqt::testing {

class WithListTexts : public ::testing::Test {
  protected:
    void SetUp() override {
        res.AddText(139, "Error");
        res.AddText(203, "Information");
        res.AddText(305, "Invalid format.");
        res.AddText(306, "Invalid format.");
        res.AddText(307, "Invalid address or port number.\r\n%s");
        platform::UseResources(res);
    }
    void TearDown() override { platform::UseResources(empty); }

    platform::MemoryResources res, empty;
};

}  // namespace xqt::testing
