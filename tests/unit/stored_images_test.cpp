// Byte-level checks of the skin images stored in app/form/images and of the
// logged-in samples in packaging/samples.  The window code relies on exact
// sizes, palette sizes and transparent indices, so the files are parsed here
// by hand rather than through an image library that would smooth over them.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

std::filesystem::path source_path(const char* relative) {
    return std::filesystem::path(TAVRO_SOURCE_DIR) / relative;
}

Bytes read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint16_t le16(const Bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}

std::uint32_t le32(const Bytes& b, std::size_t at) {
    return static_cast<std::uint32_t>(le16(b, at)) | (static_cast<std::uint32_t>(le16(b, at + 2)) << 16);
}

// ---------------------------------------------------------------------------
// GIF

struct GifFacts {
    std::string error;  // empty when the block structure parsed cleanly
    std::string signature;
    int width = 0, height = 0;
    bool global_table = false;
    int global_entries = 0;
    int graphic_controls = 0;
    bool transparent = false;
    int transparent_index = -1;
    bool netscape_loop = false;
    int images = 0;
    int left = -1, top = -1, image_width = 0, image_height = 0;
    bool interlaced = false, local_table = false;
    int min_code_size = 0;
    Bytes lzw;  // the first image's data, sub-blocks joined
    bool trailer = false;
};

// Joins the data sub-blocks starting at `pos`; leaves `pos` after the terminator.
bool read_sub_blocks(const Bytes& b, std::size_t& pos, Bytes* out) {
    while (pos < b.size()) {
        const std::size_t n = b[pos++];
        if (n == 0) return true;
        if (pos + n > b.size()) return false;
        if (out) out->insert(out->end(), b.begin() + pos, b.begin() + pos + n);
        pos += n;
    }
    return false;
}

GifFacts parse_gif(const Bytes& b) {
    GifFacts g;
    if (b.size() < 13) {
        g.error = "shorter than a GIF header";
        return g;
    }
    g.signature.assign(b.begin(), b.begin() + 6);
    g.width = le16(b, 6);
    g.height = le16(b, 8);
    const std::uint8_t packed = b[10];
    g.global_table = (packed & 0x80) != 0;
    g.global_entries = 2 << (packed & 0x07);
    std::size_t pos = 13 + (g.global_table ? 3u * g.global_entries : 0u);
    while (pos < b.size()) {
        const std::uint8_t tag = b[pos++];
        if (tag == 0x3B) {
            g.trailer = true;
            return g;
        }
        if (tag == 0x21) {
            if (pos >= b.size()) break;
            const std::uint8_t label = b[pos++];
            Bytes body;
            if (!read_sub_blocks(b, pos, &body)) break;
            if (label == 0xF9) {
                ++g.graphic_controls;
                if (body.size() < 4) break;
                g.transparent = (body[0] & 0x01) != 0;
                g.transparent_index = body[3];
            } else if (label == 0xFF && body.size() >= 11 &&
                       std::string(body.begin(), body.begin() + 11) == "NETSCAPE2.0") {
                g.netscape_loop = true;
            }
            continue;
        }
        if (tag == 0x2C) {
            if (pos + 10 > b.size()) break;
            const bool first = g.images++ == 0;
            const std::uint8_t flags = b[pos + 8];
            if (first) {
                g.left = le16(b, pos);
                g.top = le16(b, pos + 2);
                g.image_width = le16(b, pos + 4);
                g.image_height = le16(b, pos + 6);
            }
            g.interlaced = g.interlaced || (flags & 0x40) != 0;
            g.local_table = g.local_table || (flags & 0x80) != 0;
            pos += 9;
            if (flags & 0x80) pos += 3u * (2u << (flags & 0x07));
            if (pos >= b.size()) break;
            const int mcs = b[pos++];
            if (first) g.min_code_size = mcs;
            if (!read_sub_blocks(b, pos, first ? &g.lzw : nullptr)) break;
            continue;
        }
        g.error = "unknown block 0x" + std::to_string(tag);
        return g;
    }
    g.error = "truncated before the trailer";
    return g;
}

// Decodes GIF LZW data; nullopt when the stream is malformed, lacks its end
// code, or yields more than `limit` pixels.
std::optional<Bytes> lzw_decode(const Bytes& in, int min_code_size, std::size_t limit) {
    if (min_code_size < 2 || min_code_size > 8) return std::nullopt;
    const int clear = 1 << min_code_size;
    const int end = clear + 1;
    std::vector<int> prefix(4096, -1);
    std::vector<std::uint8_t> suffix(4096, 0);
    int size = min_code_size + 1;
    int next = end + 1;
    int prev = -1;
    std::size_t bit = 0;
    Bytes out;
    Bytes seq;
    auto expand = [&](int code) {
        seq.clear();
        while (code >= clear) {
            seq.push_back(suffix[code]);
            code = prefix[code];
        }
        seq.push_back(static_cast<std::uint8_t>(code));
        return Bytes(seq.rbegin(), seq.rend());
    };
    for (;;) {
        if (bit + size > in.size() * 8) return std::nullopt;
        int code = 0;
        for (int i = 0; i < size; ++i, ++bit)
            code |= ((in[bit >> 3] >> (bit & 7)) & 1) << i;
        if (code == clear) {
            size = min_code_size + 1;
            next = end + 1;
            prev = -1;
            continue;
        }
        if (code == end) return out;
        Bytes s;
        if (prev < 0) {
            if (code > clear) return std::nullopt;
            s = {static_cast<std::uint8_t>(code)};
        } else {
            if (code < next) {
                s = expand(code);
            } else if (code == next) {
                s = expand(prev);
                s.push_back(s.front());
            } else {
                return std::nullopt;
            }
            if (next < 4096) {
                prefix[next] = prev;
                suffix[next] = s.front();
                if (++next == (1 << size) && size < 12) ++size;
            }
        }
        prev = code;
        out.insert(out.end(), s.begin(), s.end());
        if (out.size() > limit) return std::nullopt;
    }
}

struct StoredGif {
    const char* path;
    int width, height;
    int palette_entries;
    int transparent_index;  // -1: the image must carry no transparency
    bool shows_through;     // some pixels must actually use the transparent index
};

void PrintTo(const StoredGif& g, std::ostream* os) { *os << g.path; }

class StoredGifTest : public ::testing::TestWithParam<StoredGif> {};

TEST_P(StoredGifTest, HeaderPaletteAndTransparencyAreExact) {
    const StoredGif& want = GetParam();
    const Bytes bytes = read_file(source_path(want.path));
    ASSERT_FALSE(bytes.empty()) << "missing " << want.path;
    const GifFacts g = parse_gif(bytes);
    ASSERT_EQ(g.error, "");
    EXPECT_EQ(g.signature, "GIF89a");
    EXPECT_EQ(g.width, want.width);
    EXPECT_EQ(g.height, want.height);
    EXPECT_TRUE(g.global_table);
    EXPECT_EQ(g.global_entries, want.palette_entries);
    if (want.transparent_index < 0) {
        EXPECT_FALSE(g.transparent);
        EXPECT_EQ(g.graphic_controls, 0);
    } else {
        EXPECT_EQ(g.graphic_controls, 1);
        EXPECT_TRUE(g.transparent);
        EXPECT_EQ(g.transparent_index, want.transparent_index);
    }
}

TEST_P(StoredGifTest, HoldsOneFullPlainFrame) {
    const StoredGif& want = GetParam();
    const GifFacts g = parse_gif(read_file(source_path(want.path)));
    ASSERT_EQ(g.error, "");
    EXPECT_TRUE(g.trailer);
    EXPECT_EQ(g.images, 1);
    EXPECT_FALSE(g.netscape_loop);
    EXPECT_FALSE(g.interlaced);
    EXPECT_FALSE(g.local_table);
    EXPECT_EQ(g.left, 0);
    EXPECT_EQ(g.top, 0);
    EXPECT_EQ(g.image_width, want.width);
    EXPECT_EQ(g.image_height, want.height);
}

TEST_P(StoredGifTest, PixelDataDecodesToTheFullImageWithinThePalette) {
    const StoredGif& want = GetParam();
    const GifFacts g = parse_gif(read_file(source_path(want.path)));
    ASSERT_EQ(g.error, "");
    const std::size_t pixels = static_cast<std::size_t>(want.width) * want.height;
    const auto indices = lzw_decode(g.lzw, g.min_code_size, pixels);
    ASSERT_TRUE(indices.has_value()) << "LZW stream is malformed or too long";
    ASSERT_EQ(indices->size(), pixels);
    bool uses_transparent = false;
    for (std::uint8_t i : *indices) {
        ASSERT_LT(i, want.palette_entries);
        uses_transparent = uses_transparent || i == want.transparent_index;
    }
    // The header's cut corners and the close button's surround must really
    // show through; a declared-but-unused transparent index hides a fault.
    if (want.shows_through) {
        EXPECT_TRUE(uses_transparent);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Skin, StoredGifTest,
    ::testing::Values(StoredGif{"app/form/images/header.gif", 317, 204, 256, 255, true},
                      StoredGif{"app/form/images/close.gif", 32, 32, 256, 135, true},
                      StoredGif{"app/form/images/minimize.gif", 26, 17, 64, -1, false},
                      StoredGif{"app/form/images/window.gif", 16, 16, 128, 100, false},
                      // The double-density copies: exactly twice as wide and high, or the window
                      // would not take them for the same picture.
                      StoredGif{"app/form/images/header@2x.gif", 634, 408, 256, 255, true},
                      StoredGif{"app/form/images/close@2x.gif", 64, 64, 256, 135, true},
                      StoredGif{"app/form/images/minimize@2x.gif", 52, 34, 64, -1, false},
                      StoredGif{"app/form/images/window@2x.gif", 32, 32, 128, 100, false}));

TEST(StoredCloseImage, GlyphLiesInTheShownCorner) {
    // Only the upper-left 21 x 28 pixels of close.gif appear in the window.
    const GifFacts g = parse_gif(read_file(source_path("app/form/images/close.gif")));
    ASSERT_EQ(g.error, "");
    const auto indices = lzw_decode(g.lzw, g.min_code_size, 32u * 32u);
    ASSERT_TRUE(indices.has_value());
    ASSERT_EQ(indices->size(), 32u * 32u);
    int shown = 0, hidden = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            if ((*indices)[y * 32 + x] != 135) ++((x < 21 && y < 28) ? shown : hidden);
    EXPECT_GT(shown, 20);
    EXPECT_EQ(hidden, 0);
}

struct SampleGif {
    const char* path;
    int width, height;
};

void PrintTo(const SampleGif& s, std::ostream* os) { *os << s.path; }

class SampleGifTest : public ::testing::TestWithParam<SampleGif> {};

TEST_P(SampleGifTest, IsASingleFrameGifOfAboutTheStatedSize) {
    const SampleGif& want = GetParam();
    const Bytes bytes = read_file(source_path(want.path));
    ASSERT_FALSE(bytes.empty()) << "missing " << want.path;
    const GifFacts g = parse_gif(bytes);
    ASSERT_EQ(g.error, "");
    EXPECT_EQ(g.signature, "GIF89a");
    EXPECT_NEAR(g.width, want.width, 4);
    EXPECT_NEAR(g.height, want.height, 3);
    EXPECT_EQ(g.images, 1);
    EXPECT_FALSE(g.netscape_loop);
    const std::size_t pixels = static_cast<std::size_t>(g.image_width) * g.image_height;
    const auto indices = lzw_decode(g.lzw, g.min_code_size, pixels);
    ASSERT_TRUE(indices.has_value());
    EXPECT_EQ(indices->size(), pixels);
}

INSTANTIATE_TEST_SUITE_P(LoggedIn, SampleGifTest,
                         ::testing::Values(SampleGif{"packaging/samples/界面_03.gif", 318, 27},
                                           SampleGif{"packaging/samples/界面_06.gif", 28, 15}));

// ---------------------------------------------------------------------------
// ICO

TEST(StoredIcon, NineDibImagesInSizeThenDepthOrder) {
    const Bytes b = read_file(source_path("app/form/images/tavro.ico"));
    ASSERT_GE(b.size(), 6u) << "missing tavro.ico";
    EXPECT_EQ(le16(b, 0), 0);  // reserved
    EXPECT_EQ(le16(b, 2), 1);  // icon, not cursor
    ASSERT_EQ(le16(b, 4), 9);
    ASSERT_GE(b.size(), 6u + 9u * 16u);

    struct Expected {
        int size, bits;
    };
    const Expected order[9] = {{48, 4}, {32, 4}, {16, 4}, {48, 8}, {32, 8},
                               {16, 8}, {48, 32}, {32, 32}, {16, 32}};
    std::size_t expected_offset = 6 + 9 * 16;
    for (int k = 0; k < 9; ++k) {
        const Expected& want = order[k];
        SCOPED_TRACE("entry " + std::to_string(k) + ": " + std::to_string(want.size) + "px " +
                     std::to_string(want.bits) + "bpp");
        const std::size_t e = 6 + 16 * k;
        EXPECT_EQ(b[e], want.size);
        EXPECT_EQ(b[e + 1], want.size);
        EXPECT_EQ(b[e + 2], want.bits == 4 ? 16 : 0);
        EXPECT_EQ(b[e + 3], 0);
        EXPECT_EQ(le16(b, e + 4), 1);
        EXPECT_EQ(le16(b, e + 6), want.bits);
        const std::uint32_t bytes = le32(b, e + 8);
        const std::uint32_t offset = le32(b, e + 12);
        // Images follow the directory back to back, in directory order.
        EXPECT_EQ(offset, expected_offset);
        ASSERT_LE(static_cast<std::size_t>(offset) + bytes, b.size());
        expected_offset = static_cast<std::size_t>(offset) + bytes;

        // The DIB itself, not only the directory, must agree.
        ASSERT_GE(bytes, 40u);
        ASSERT_NE(std::string(b.begin() + offset, b.begin() + offset + 4), "\x89PNG");
        EXPECT_EQ(le32(b, offset), 40u);  // BITMAPINFOHEADER
        EXPECT_EQ(static_cast<std::int32_t>(le32(b, offset + 4)), want.size);
        EXPECT_EQ(static_cast<std::int32_t>(le32(b, offset + 8)), 2 * want.size);  // XOR + AND
        EXPECT_EQ(le16(b, offset + 12), 1);
        EXPECT_EQ(le16(b, offset + 14), want.bits);
        EXPECT_EQ(le32(b, offset + 16), 0u);  // uncompressed
        std::uint32_t colours = le32(b, offset + 32);
        if (want.bits <= 8 && colours == 0) colours = 1u << want.bits;
        EXPECT_EQ(colours, want.bits <= 8 ? 1u << want.bits : 0u);
        const std::uint32_t xor_row = (want.size * want.bits + 31) / 32 * 4;
        const std::uint32_t and_row = (want.size + 31) / 32 * 4;
        EXPECT_EQ(bytes, 40 + 4 * colours + (xor_row + and_row) * want.size)
            << "image size does not cover header, palette, colour bitmap and mask";
    }
    EXPECT_EQ(expected_offset, b.size());
}

TEST(StoredIcon, MasksAgreeWithAlphaAndLeaveCornersClear) {
    // The AND mask must be transparent in the corners and solid in the middle
    // for every image; for the 32-bit images it must agree with the alpha.
    const Bytes b = read_file(source_path("app/form/images/tavro.ico"));
    ASSERT_GE(b.size(), 6u + 9u * 16u);
    for (int k = 0; k < 9; ++k) {
        const std::size_t e = 6 + 16 * k;
        const int n = b[e], bits = le16(b, e + 6);
        SCOPED_TRACE("entry " + std::to_string(k));
        const std::size_t dib = le32(b, e + 12);
        const std::size_t colours = bits <= 8 ? (1u << bits) : 0;
        const std::size_t xor_at = dib + 40 + 4 * colours;
        const std::size_t xor_row = (n * bits + 31) / 32 * 4;
        const std::size_t and_at = xor_at + xor_row * n;
        const std::size_t and_row = (n + 31) / 32 * 4;
        ASSERT_LE(and_at + and_row * n, b.size());
        auto masked = [&](int x, int y) {  // rows run bottom-up
            return (b[and_at + (n - 1 - y) * and_row + x / 8] >> (7 - x % 8)) & 1;
        };
        EXPECT_TRUE(masked(0, n - 1));
        EXPECT_TRUE(masked(n - 1, n - 1));
        EXPECT_FALSE(masked(n / 2, n / 3));
        if (bits == 32) {
            for (int y = 0; y < n; ++y)
                for (int x = 0; x < n; ++x) {
                    const std::uint8_t alpha = b[xor_at + (n - 1 - y) * xor_row + 4 * x + 3];
                    ASSERT_EQ(masked(x, y) != 0, alpha == 0) << "at " << x << "," << y;
                }
        }
    }
}

}  // namespace
