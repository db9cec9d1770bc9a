#include "platform/canvas/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace kavum::platform {

std::unique_ptr<QMimeData> MetafileMimeData(const QByteArray& emf) {
    auto data = std::make_unique<QMimeData>();
    data->setData(QStringLiteral("image/emf"), emf);
    data->setData(QStringLiteral("image/x-emf"), emf);
    // The name LibreOffice gives its own metafiles on the clipboard.
    data->setData(QStringLiteral("application/x-openoffice-emf;windows_formatname=\"Image EMF\""), emf);
    return data;
}

void CopyBitmapToClipboard(const QImage& image) { QGuiApplication::clipboard()->setImage(image); }

void CopyMetafileToClipboard(const QByteArray& emf) {
    // The clipboard takes ownership of the data.
    QGuiApplication::clipboard()->setMimeData(MetafileMimeData(emf).release());
}

}  // namespace kavum::platform
