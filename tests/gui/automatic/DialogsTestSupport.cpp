#include "DialogsTestSupport.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include "fleet/TextForms.h"
#include "gui/automatic/EntryTerminalsDialog.h"
#include "gui/controls/Ipv4Edit.h"

namespace xqt::test {

std::unique_ptr<CameraGrid> MakeTargetGrid() {
    auto grid = std::make_unique<CameraGrid>(Models(), nullptr, FastTiming());
    grid->InsertColumn(0, "", 17);
    grid->InsertColumn(1, "MAC address", 123);
    grid->InsertColumn(2, "IP address", 100);
    grid->InsertColumn(3, "Model", 85);
    grid->InsertColumn(4, "Serial No.", 50);
    grid->InsertColumn(5, "Version No.", 70);
    grid->InsertColumn(6, "Name", 50);
    grid->resize(520, 200);
    return grid;
}

void FillTargets(CameraGrid& grid, int count) {
    for (int i = 0; i < count; ++i) {
        CameraEntry e;
        char mac[32];
        std::snprintf(mac, sizeof mac, "08-00-46-01-%02X-%02X", i / 256, i % 256);
        e.macText = mac;
        e.address = {127, 1, static_cast<std::uint8_t>(i / 256), static_cast<std::uint8_t>(i % 256)};
        e.addressText = AddressText(e.address, 80);
        e.model = "XQT-TR60";
        e.serial = std::to_string(2000000 + i);
        e.version = "1.10";
        ASSERT_EQ(grid.Insert(e), InsertResult::Inserted);
    }
}

QAbstractButton* Button(QWidget* dialog, const char* name) {
    auto* button = dialog->findChild<QAbstractButton*>(name);
    EXPECT_NE(button, nullptr) << name;
    return button;
}

void Press(QWidget* dialog, const char* name) {
    QAbstractButton* button = Button(dialog, name);
    if (button && button->isEnabled()) button->click();
}

void TypeEntry(EntryTerminalsDialog& dialog, const std::string& ip, int port) {
    auto* address = dialog.findChild<Ipv4Edit*>("address");
    ASSERT_NE(address, nullptr);
    const Octets o = OctetsOf(ip);
    address->SetAddress(o[0], o[1], o[2], o[3]);
    if (port == 80) {
        dialog.findChild<QRadioButton*>("port80")->click();
    } else {
        dialog.findChild<QRadioButton*>("portOther")->click();
        dialog.findChild<QLineEdit*>("port")->setText(QString::number(port));
    }
}

}  // namespace xqt::test
