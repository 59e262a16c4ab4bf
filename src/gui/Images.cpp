#include "gui/Images.h"

#include <QFile>

#include <png.h>

// Resources compiled into a static library must be registered by hand.
static void initResources() {
    Q_INIT_RESOURCE(fiscora);
}

namespace fiscora {

namespace {

// The emblem is decoded with libpng (which Qt itself loads) rather than through QImage's reader:
// the reader's first use indexes every image plugin installed, a millisecond or more on the way
// to the start-up window.
QImage decodePng(const QByteArray& bytes) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes.constData(), std::size_t(bytes.size())))
        return {};
    // BGRA in memory is QImage's ARGB32 on a little-endian machine.
    png.format = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? PNG_FORMAT_BGRA : PNG_FORMAT_ARGB;
    QImage image(int(png.width), int(png.height), QImage::Format_ARGB32);
    if (image.isNull() ||
        !png_image_finish_read(&png, nullptr, image.bits(), png_int_32(image.bytesPerLine()), nullptr)) {
        png_image_free(&png);
        return {};
    }
    return image;
}

} // namespace

QImage brasaoImage() {
    // A static local is initialised once even when threads ask at the same time; copies share it.
    static const QImage image = [] {
        initResources();
        QFile file(QStringLiteral(":/imagens/brasao.png"));
        return file.open(QIODevice::ReadOnly) ? decodePng(file.readAll()) : QImage();
    }();
    return image;
}

QPixmap brasao() {
    return QPixmap::fromImage(brasaoImage());
}

} // namespace fiscora
