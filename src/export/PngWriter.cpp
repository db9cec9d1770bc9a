#include "export/PngWriter.h"

#include "platform/Errors.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    std::vector<unsigned char> indexed;
    libdeflate_compressor* compressor = nullptr;
    Scratch() = default;
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    ~Scratch() {
        if (compressor) libdeflate_free_compressor(compressor);
    }
    void Release() {
        if (packed.capacity() > KeptBufferBytes) std::vector<unsigned char>().swap(packed);
        if (indexed.capacity() > KeptBufferBytes) std::vector<unsigned char>().swap(indexed);
    }
};

Scratch& ThreadScratch() {
    thread_local Scratch scratch;
    return scratch;
}

// The rows of an indexed PNG (a filter byte of 0 before each row, then a
// byte a pixel) of a picture of at most 256 colours into rows (none: the
// colours only), and its colours in the order they first appear, so that
// the same pixels always give the same file. False when the picture has
// more colours. The rows may be the image's own memory: each byte goes
// where the pixels it could cover have been read already.
bool IndexRows(const QImage& image, unsigned char* rows, std::vector<std::uint32_t>& palette) {
    const int w = image.width();
    const int h = image.height();
    const std::size_t rowBytes = static_cast<std::size_t>(w) + 1;
    palette.clear();
    // Open addressing over the colour's bits; an empty slot holds 0 (keys
    // carry a high bit, which no colour of 24 bits has).
    constexpr std::uint32_t Slots = 1024;
    std::uint32_t keys[Slots] = {};
    unsigned char values[Slots] = {};
    // Most pixels repeat the one before: runs of one pixel value are
    // looked up once.
    std::uint32_t lastPixel = 0;
    unsigned char lastIndex = 0;
    bool any = false;
    for (int y = 0; y < h; ++y) {
        const auto* p = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
        unsigned char* d = rows ? rows + rowBytes * static_cast<std::size_t>(y) + 1 : nullptr;
        int x = 0;
        while (x < w) {
            if (any && p[x] == lastPixel) {
                int end = x + 1;
#if defined(__SSE2__)
                const __m128i same = _mm_set1_epi32(static_cast<int>(lastPixel));
                while (end + 4 <= w) {
                    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + end));
                    if (_mm_movemask_epi8(_mm_cmpeq_epi32(v, same)) != 0xFFFF) break;
                    end += 4;
                }
#endif
                while (end < w && p[end] == lastPixel) ++end;
                if (!d) {
                } else if (end - x >= 16) {
                    std::memset(d + x, lastIndex, static_cast<std::size_t>(end - x));
                } else {
                    for (int k = x; k < end; ++k) d[k] = lastIndex;
                }
                x = end;
                continue;
            }
            const std::uint32_t key = (p[x] & 0xFFFFFFu) | 0x80000000u;
            std::uint32_t slot = ((key * 2654435761u) >> 22) & (Slots - 1);
            while (keys[slot] != 0 && keys[slot] != key) slot = (slot + 1) & (Slots - 1);
            if (keys[slot] == 0) {
                if (palette.size() == 256) return false;
                keys[slot] = key;
                values[slot] = static_cast<unsigned char>(palette.size());
                palette.push_back(key & 0xFFFFFFu);
            }
            lastPixel = p[x];
            lastIndex = values[slot];
            any = true;
            if (d) d[x] = lastIndex;
            ++x;
        }
        if (d) d[-1] = 0;  // filter: none; after the row, whose first pixel may lie here
    }
    return true;
}

// The indices of a palette picture are mostly long runs of one colour and
// rows like the row above: a zlib stream of one block of the fixed codes,
// whose matches are the runs (distance 1) and the row above (distance
// rowBytes), greedy, is a little larger than a general compressor's and
// several times quicker. Returns the size written into out.
class FixedCodes {
public:
    struct Code {
        std::uint32_t bits = 0;
        int length = 0;
    };
    FixedCodes() {
        for (int s = 0; s < 288; ++s) {
            int code = 0;
            int length = 0;
            if (s < 144) {
                code = 0x30 + s;
                length = 8;
            } else if (s < 256) {
                code = 0x190 + (s - 144);
                length = 9;
            } else if (s < 280) {
                code = s - 256;
                length = 7;
            } else {
                code = 0xC0 + (s - 280);
                length = 8;
            }
            symbol[s] = Code{Reverse(static_cast<std::uint32_t>(code), length), length};
        }
        static constexpr int base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                         31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
        static constexpr int extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                          2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        for (int k = 0; k < 29; ++k) {
            const int last = k == 28 ? 258 : base[k + 1] - 1;
            for (int len = base[k]; len <= last && len <= 258; ++len) {
                const Code& c = symbol[257 + k];
                lengthCode[len] = Code{c.bits | (static_cast<std::uint32_t>(len - base[k]) << c.length), c.length + extra[k]};
            }
        }
    }
    // The code of a distance (1 to 32768) and its extra bits.
    static Code DistanceCode(int distance) {
        static constexpr int base[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                         193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
        static constexpr int extra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
        int k = 29;
        while (base[k] > distance) --k;
        const std::uint32_t code = Reverse(static_cast<std::uint32_t>(k), 5);
        return Code{code | (static_cast<std::uint32_t>(distance - base[k]) << 5), 5 + extra[k]};
    }
    Code symbol[288];
    Code lengthCode[259];

private:
    static std::uint32_t Reverse(std::uint32_t code, int length) {
        std::uint32_t r = 0;
        for (int i = 0; i < length; ++i) r |= ((code >> i) & 1u) << (length - 1 - i);
        return r;
    }
};

// How many bytes from a on equal those from b, up to max.
std::size_t SameBytes(const unsigned char* a, const unsigned char* b, std::size_t max) {
    std::size_t n = 0;
    while (n + 8 <= max) {
        std::uint64_t x = 0;
        std::uint64_t y = 0;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (x != y) return n + static_cast<std::size_t>(__builtin_ctzll(x ^ y) / 8);
        n += 8;
    }
    while (n < max && a[n] == b[n]) ++n;
    return n;
}

std::size_t DeflateRuns(const unsigned char* data, std::size_t size, std::size_t rowBytes,
                        std::vector<unsigned char>& out) {
    static const FixedCodes codes;
    // Nine bits a byte at most, the header, the end and the check.
    out.resize(size + size / 8 + 64);
    unsigned char* o = out.data();
    *o++ = 0x78;  // deflate, 32K window
    *o++ = 0x01;  // fastest; the check bits
    std::uint64_t bits = 0;
    int count = 0;
    auto put = [&](std::uint32_t value, int length) {
        bits |= static_cast<std::uint64_t>(value) << count;
        count += length;
        if (count >= 32) {
            const std::uint32_t word = static_cast<std::uint32_t>(bits);
            o[0] = static_cast<unsigned char>(word);
            o[1] = static_cast<unsigned char>(word >> 8);
            o[2] = static_cast<unsigned char>(word >> 16);
            o[3] = static_cast<unsigned char>(word >> 24);
            o += 4;
            bits >>= 32;
            count -= 32;
        }
    };
    put(1, 1);  // the last block
    put(1, 2);  // of the fixed codes
    const bool above = rowBytes >= 1 && rowBytes <= 32768;
    const FixedCodes::Code one = FixedCodes::DistanceCode(1);
    const FixedCodes::Code row = above ? FixedCodes::DistanceCode(static_cast<int>(rowBytes)) : one;
    std::size_t i = 0;
    while (i < size) {
        const std::size_t max = std::min<std::size_t>(258, size - i);
        std::size_t run = i >= 1 ? SameBytes(data + i, data + i - 1, max) : 0;
        std::size_t up = 0;
        if (above && i >= rowBytes && run < max) up = SameBytes(data + i, data + i - rowBytes, max);
        if (run >= 3 && run >= up) {
            const FixedCodes::Code& l = codes.lengthCode[run];
            put(l.bits, l.length);
            put(one.bits, one.length);
            i += run;
        } else if (up >= 3) {
            const FixedCodes::Code& l = codes.lengthCode[up];
            put(l.bits, l.length);
            put(row.bits, row.length);
            i += up;
        } else {
            const FixedCodes::Code& c = codes.symbol[data[i]];
            put(c.bits, c.length);
            ++i;
        }
    }
    put(codes.symbol[256].bits, codes.symbol[256].length);
    while (count > 0) {
        *o++ = static_cast<unsigned char>(bits);
        bits >>= 8;
        count -= 8;
    }
    const std::uint32_t adler = libdeflate_adler32(1, data, size);
    *o++ = static_cast<unsigned char>(adler >> 24);
    *o++ = static_cast<unsigned char>(adler >> 16);
    *o++ = static_cast<unsigned char>(adler >> 8);
    *o++ = static_cast<unsigned char>(adler);
    return static_cast<std::size_t>(o - out.data());
}

// Deflates the rows into the scratch buffer; the size of the stream.
std::size_t Deflate(Scratch& scratch, const unsigned char* rows, std::size_t size) {
    if (!scratch.compressor) scratch.compressor = libdeflate_alloc_compressor(1);
    if (!scratch.compressor) throw platform::KavumError("PNG の図を作成できません");
    scratch.packed.resize(libdeflate_zlib_compress_bound(scratch.compressor, size));
    const std::size_t packed =
        libdeflate_zlib_compress(scratch.compressor, rows, size, scratch.packed.data(), scratch.packed.size());
    if (packed == 0) {
        scratch.Release();
        throw platform::KavumError("PNG の図を作成できません");
    }
    return packed;
}

void AppendData(QByteArray& out, const unsigned char* data, std::size_t size) {
    out.reserve(out.size() + static_cast<qsizetype>(size + size / (1 << 20) * 12 + 64));
    for (std::size_t at = 0; at < size; at += std::size_t{1} << 20) {
        Chunk(out, "IDAT", reinterpret_cast<const char*>(data + at),
              static_cast<qsizetype>(std::min(std::size_t{1} << 20, size - at)));
    }
}

}  // namespace

QByteArray FastPng(QImage image, int dotsPerMeter) {
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32) {
        image = image.convertToFormat(QImage::Format_RGB32);
    }
    const int w = image.width();
    const int h = image.height();
    QByteArray out("\x89PNG\r\n\x1a\n", 8);
    auto header = [&](char colourType) {
        QByteArray ihdr;
        Be32(ihdr, static_cast<std::uint32_t>(w));
        Be32(ihdr, static_cast<std::uint32_t>(h));
        // 8 bits, the colour type, deflate, no filter, no interlace
        ihdr.append('\x08');
        ihdr.append(colourType);
        ihdr.append("\x00\x00\x00", 3);
        Chunk(out, "IHDR", ihdr.constData(), ihdr.size());
        if (dotsPerMeter > 0) {
            QByteArray phys;
            Be32(phys, static_cast<std::uint32_t>(dotsPerMeter));
            Be32(phys, static_cast<std::uint32_t>(dotsPerMeter));
            phys.append('\x01');  // per metre
            Chunk(out, "pHYs", phys.constData(), phys.size());
        }
    };

    // A picture of at most 256 colours (a map, its marks and smoothed
    // text, as a rule) goes in a palette: the same pixels in a third of the
    // bytes to compress.
    const std::size_t indexBytes = (static_cast<std::size_t>(w) + 1) * static_cast<std::size_t>(h);
    if (indexBytes <= (std::size_t{256} << 20)) {
        Scratch& scratch = ThreadScratch();
        std::vector<std::uint32_t> palette;
        // Small pictures (the figures of an atlas) into a buffer kept for
        // the next; large ones over their own pixels, once their colours
        // are known to fit, so that a print-size bitmap is not held twice.
        const bool inPlace = indexBytes > KeptBufferBytes;
        unsigned char* rows = nullptr;
        bool fits = false;
        if (inPlace) {
            fits = IndexRows(image, nullptr, palette) && IndexRows(image, image.bits(), palette);
            rows = image.bits();
        } else {
            scratch.indexed.resize(indexBytes);
            fits = IndexRows(image, scratch.indexed.data(), palette);
            rows = scratch.indexed.data();
        }
        if (fits) {
            header('\x03');
            QByteArray plte;
            plte.reserve(static_cast<qsizetype>(palette.size() * 3));
            for (const std::uint32_t c : palette) {
                plte.append(static_cast<char>(c >> 16));
                plte.append(static_cast<char>(c >> 8));
                plte.append(static_cast<char>(c));
            }
            Chunk(out, "PLTE", plte.constData(), plte.size());
            const std::size_t size = DeflateRuns(rows, indexBytes, static_cast<std::size_t>(w) + 1, scratch.packed);
            image = QImage();
            AppendData(out, scratch.packed.data(), size);
            scratch.Release();
            Chunk(out, "IEND", nullptr, 0);
            return out;
        }
    }
    header('\x02');

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
        const std::size_t size = Deflate(scratch, base, rawSize);
        image = QImage();
        AppendData(out, scratch.packed.data(), size);
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
