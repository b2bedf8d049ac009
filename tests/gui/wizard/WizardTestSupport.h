#pragma once
// Shared pieces of the wizard tests: the application object, the texts and resources the wizard
// reads (copied exactly as the product carries them), and a fixture that opens a wizard over a
// fake engine with recorded message boxes.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <functional>
#include <memory>
#include <string>

#include "gui/wizard/WizardDialog.h"
#include "platform/MessageBoxes.h"
#include "platform/Resources.h"
#include "tests/wizard/FakeWizardEngine.h"
#include "tests/wizard/WizardResources.h"

namespace xqt::test {

/// Clicks a radio button or check box on its indicator, where a click always lands.
void Choose(QAbstractButton* button);

/// Waits, processing events, until `done` holds or `ms` pass.
bool WaitFor(const std::function<bool()>& done, int ms = 5000);

class WizardTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    WizardDialog& Open(platform::EngineTiming timing = FastTiming());
    void Close() { wizard.reset(); }

    void Click(WizardButton button);
    /// Through the first three pages to the manual target page.
    void GoToTarget();
    /// The target page's entries.
    void EnterTarget(const std::string& address, const std::string& name, const std::string& password);
    /// From the target page to the progress page; true when it got there.
    bool GoToProgress();
    int State() const { return wizard->Flow().State(); }
    std::vector<std::string> BoxTexts() const;

    template <class T>
    T* Find(WizardPage page, const char* name) const {
        T* found = wizard->Page(page)->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    platform::MemoryResources res;
    platform::MemoryResources empty;
    FakeWizardEngine engine;
    platform::RecordingMessageBoxes boxes;
    std::unique_ptr<WizardDialog> wizard;
};

}  // namespace xqt::test
