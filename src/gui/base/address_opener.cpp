#include "gui/base/address_opener.h"

#include "core/base/open_address.h"
#include "core/web/loopback_guard.h"
#include "gui/base/text_bytes.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace sendwell::gui {

OpenResult DesktopAddressOpener::open(const QString& address) {
    const sendwell::OpenTarget target = sendwell::OpenTargetFor(ToBytes(address));
    QUrl url;
    switch (target.kind) {
    case sendwell::OpenTargetKind::None:
        return {false, sendwell::kOpenFileNotFound};
    case sendwell::OpenTargetKind::LocalFile: {
        const QString path = ToQString(target.text);
        if (!QFileInfo::exists(path)) {
            return {false, sendwell::kOpenFileNotFound};
        }
        url = QUrl::fromLocalFile(path);
        break;
    }
    case sendwell::OpenTargetKind::Url:
        url = QUrl(ToQString(target.text), QUrl::TolerantMode);
        break;
    }
    if (!url.isValid()) {
        return {false, sendwell::kOpenFileNotFound};
    }
    // Tests and demos keep to loopback: a browser sent elsewhere would leave it as surely as a request.
    const QString scheme = url.scheme();
    if ((scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
        !sendwell::GuardAllows(ToBytes(url.toString()))) {
        return {false, sendwell::kOpenAccessDenied};
    }
    if (!QDesktopServices::openUrl(url)) {
        return {false, sendwell::kOpenNoAssociation};
    }
    return {true, 0};
}

AddressOpener& DesktopOpener() {
    static DesktopAddressOpener opener;
    return opener;
}

} // namespace sendwell::gui
