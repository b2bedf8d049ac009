#pragma once
// Conversions between the program's UTF-8 texts and Qt's strings, for the wizard's widgets.

#include <QString>
#include <cstdint>
#include <string>

#include "platform/ResourceText.h"

namespace xqt {

[[nodiscard]] inline QString ToQt(const std::string& text) {
    return QString::fromStdString(text);
}

/// Multi-line texts keep CR LF line ends in the resources; Qt's text views want LF alone.
[[nodiscard]] inline QString ToQtLines(const std::string& text) {
    return QString::fromStdString(text).replace("\r\n", "\n");
}

[[nodiscard]] inline std::string FromQt(const QString& text) {
    return text.toStdString();
}

/// A BIN text as a QString (empty when missing).
[[nodiscard]] inline QString BinText(std::uint16_t id) {
    return ToQt(platform::TextOf(id));
}

}  // namespace xqt
