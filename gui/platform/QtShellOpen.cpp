#include <QDesktopServices>
#include <QUrl>

#include "platform/ShellOpen.h"

namespace xqt::platform {

bool QtShellOpen::Open(const std::string& url) {
    const QUrl parsed(QString::fromStdString(url), QUrl::StrictMode);
    if (!parsed.isValid()) return false;
    return QDesktopServices::openUrl(parsed);
}

}  // namespace xqt::platform
