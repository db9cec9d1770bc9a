#pragma once
// Pictures on the clipboard: a bitmap, and an enhanced metafile offered under
// the MIME types that readers of EMF look for.
#include <QByteArray>
#include <QImage>
#include <QMimeData>

#include <memory>

namespace kavum::platform {

void CopyBitmapToClipboard(const QImage& image);
void CopyMetafileToClipboard(const QByteArray& emf);

// The clipboard data of a metafile, for the copy above and for tests.
std::unique_ptr<QMimeData> MetafileMimeData(const QByteArray& emf);

}  // namespace kavum::platform
