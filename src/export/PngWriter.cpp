#include "export/PngWriter.h"

#include "platform/Errors.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace kavum::exporting {

namespace {

void Be32(QByteArray& out, std::uint32_t v) {
    const char b[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                       static_cast<char>(v)};
    out.append(b, 4);
}

void Chunk(QByteArray& out, const char* type, const char* data, qsizetype size) {
    Be32(out, static_cast<std::uint32_t>(size));
    const qsizetype start = out.size();
    out.append(type, 4);
    out.append(data, size);
    const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(out.constData() + start), static_cast<uInt>(size + 4));
    Be32(out, static_cast<std::uint32_t>(crc));
}

// Up to this many bytes of output the buffer and the compressor of a
// thread are kept for its next picture: the figures of an atlas are
// written one after another at the same size, and fresh memory for each
// costs more than compressing it.
constexpr std::size_t KeptBufferBytes = std::size_t{32} << 20;

struct Scratch {
    std::vector<unsigned char> packed;
    libdeflate_compressor* compressor = nullptr;
    Scratch() = default;
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    ~Scratch() {
        if (compressor) libdeflate_free_compressor(compressor);
    }
    void Release() {
        if (packed.capacity() > KeptBufferBytes) std::vector<unsigned char>().swap(packed);
    }
};

Scratch& ThreadScratch() {
    thread_local Scratch scratch;
    return scratch;
}

}  // namespace

QByteArray FastPng(QImage image, int dotsPerMeter) {
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32) {
        image = image.convertToFormat(QImage::Format_RGB32);
    }
    const int w = image.width();
    const int h = image.height();
    QByteArray out("\x89PNG\r\n\x1a\n", 8);
    QByteArray header;
    Be32(header, static_cast<std::uint32_t>(w));
    Be32(header, static_cast<std::uint32_t>(h));
    header.append("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
    Chunk(out, "IHDR", header.constData(), header.size());
    if (dotsPerMeter > 0) {
        QByteArray phys;
        Be32(phys, static_cast<std::uint32_t>(dotsPerMeter));
        Be32(phys, static_cast<std::uint32_t>(dotsPerMeter));
        phys.append('\x01');  // per metre
        Chunk(out, "pHYs", phys.constData(), phys.size());
    }

    // Up to a few hundred megabytes of rows the image is deflated in one
    // piece with libdeflate, several times quicker than zlib; larger ones
    // are streamed through zlib row by row.
    const std::size_t rowBytes = static_cast<std::size_t>(w) * 3 + 1;
    if (rowBytes * static_cast<std::size_t>(h) <= (std::size_t{256} << 20)) {
        // The rows of the file over the image's own: a row of the file (a
        // filter byte and three bytes a pixel) is shorter than a row of the
        // image (four bytes a pixel), so writing them one after another from
        // the start never reaches a pixel not yet read.
        unsigned char* base = image.bits();
        const std::size_t stride = static_cast<std::size_t>(image.bytesPerLine());
        for (int y = 0; y < h; ++y) {
            const unsigned char* p = base + stride * static_cast<std::size_t>(y);
            unsigned char* d = base + rowBytes * static_cast<std::size_t>(y);
            std::uint32_t c;
            std::memcpy(&c, p, 4);  // before the filter byte goes over it
            *d++ = 0;               // filter: none
            for (int x = 0;;) {
                *d++ = static_cast<unsigned char>(c >> 16);
                *d++ = static_cast<unsigned char>(c >> 8);
                *d++ = static_cast<unsigned char>(c);
                if (++x == w) break;
                std::memcpy(&c, p + 4 * static_cast<std::size_t>(x), 4);
            }
        }
        const std::size_t rawSize = rowBytes * static_cast<std::size_t>(h);
        Scratch& scratch = ThreadScratch();
        if (!scratch.compressor) scratch.compressor = libdeflate_alloc_compressor(1);
        if (!scratch.compressor) throw platform::KavumError("PNG の図を作成できません");
        std::vector<unsigned char>& packed = scratch.packed;
        packed.resize(libdeflate_zlib_compress_bound(scratch.compressor, rawSize));
        const std::size_t size =
            libdeflate_zlib_compress(scratch.compressor, base, rawSize, packed.data(), packed.size());
        if (size == 0) {
            scratch.Release();
            throw platform::KavumError("PNG の図を作成できません");
        }
        image = QImage();
        out.reserve(out.size() + static_cast<qsizetype>(size + size / (1 << 20) * 12 + 64));
        for (std::size_t at = 0; at < size; at += std::size_t{1} << 20) {
            Chunk(out, "IDAT", reinterpret_cast<const char*>(packed.data() + at),
                  static_cast<qsizetype>(std::min(std::size_t{1} << 20, size - at)));
        }
        scratch.Release();
        Chunk(out, "IEND", nullptr, 0);
        return out;
    }

    z_stream z{};
    if (deflateInit(&z, 1) != Z_OK) throw platform::KavumError("PNG の図を作成できません");
    std::vector<unsigned char> row(static_cast<std::size_t>(w) * 3 + 1);
    std::vector<unsigned char> buffer(1 << 20);
    auto drain = [&](int flush) {
        do {
            z.next_out = buffer.data();
            z.avail_out = static_cast<uInt>(buffer.size());
            const int rc = deflate(&z, flush);
            if (rc == Z_STREAM_ERROR) {
                deflateEnd(&z);
                throw platform::KavumError("PNG の図を作成できません");
            }
            const qsizetype produced = static_cast<qsizetype>(buffer.size() - z.avail_out);
            if (produced > 0) Chunk(out, "IDAT", reinterpret_cast<const char*>(buffer.data()), produced);
        } while (z.avail_out == 0);
    };
    for (int y = 0; y < h; ++y) {
        const auto* p = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
        unsigned char* d = row.data();
        *d++ = 0;  // filter: none
        for (int x = 0; x < w; ++x) {
            const std::uint32_t c = p[x];
            *d++ = static_cast<unsigned char>(c >> 16);
            *d++ = static_cast<unsigned char>(c >> 8);
            *d++ = static_cast<unsigned char>(c);
        }
        z.next_in = row.data();
        z.avail_in = static_cast<uInt>(row.size());
        // Output is collected in chunks of about a megabyte.
        while (z.avail_in > 0) {
            z.next_out = buffer.data();
            z.avail_out = static_cast<uInt>(buffer.size());
            deflate(&z, Z_NO_FLUSH);
            const qsizetype produced = static_cast<qsizetype>(buffer.size() - z.avail_out);
            if (produced > 0) Chunk(out, "IDAT", reinterpret_cast<const char*>(buffer.data()), produced);
        }
    }
    drain(Z_FINISH);
    deflateEnd(&z);
    Chunk(out, "IEND", nullptr, 0);
    return out;
}

}  // namespace kavum::exporting
