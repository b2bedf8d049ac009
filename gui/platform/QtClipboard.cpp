#include "gui/platform/QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "platform/Windows1252.h"

namespace xqt::platform {

std::optional<std::string> QtClipboard::ReadText() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return std::nullopt;
    const QMimeData* data = clipboard->mimeData(QClipboard::Clipboard);
    if (!data || !data->hasText()) return std::nullopt;
    return Utf8ToWindows1252(data->text().toStdString());
}

}  // namespace xqt::platform
