#include "tests/support/cmyk_jpeg.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <stdexcept>

namespace ringcalib::test {
namespace {

// The typical luminance Huffman tables of the JPEG standard (ITU-T T.81, Annex K.3): code
// counts per length 1..16, then the symbols in code order. They cover every DC difference
// and every AC value that 8-bit samples can give with quantisers of 1, so all four
// components share them.
constexpr std::array<uint8_t, 16> kDcCounts = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
constexpr std::array<uint8_t, 12> kDcSymbols = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
constexpr std::array<uint8_t, 16> kAcCounts = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
constexpr std::array<uint8_t, 162> kAcSymbols = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
    0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52,
    0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25,
    0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45,
    0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64,
    0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
    0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
    0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6,
    0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3,
    0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8,
    0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};

// Row-major index of the k-th coefficient in zig-zag order.
constexpr std::array<uint8_t, 64> kZigZag = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

struct HuffmanCode {
  uint16_t bits = 0;
  uint8_t length = 0;
};
using HuffmanTable = std::array<HuffmanCode, 256>;

// Canonical codes from the counts per length, as a decoder rebuilds them from the DHT segment.
template <size_t N>
HuffmanTable huffmanTable(const std::array<uint8_t, 16>& counts, const std::array<uint8_t, N>& symbols) {
  HuffmanTable table{};
  uint16_t code = 0;
  size_t next = 0;
  for (int length = 1; length <= 16; ++length) {
    for (int i = 0; i < counts[length - 1]; ++i) {
      table[symbols[next++]] = {code++, static_cast<uint8_t>(length)};
    }
    code <<= 1;
  }
  return table;
}

// Entropy-coded bytes, with a zero byte stuffed after each 0xFF so that no marker appears.
class BitWriter {
 public:
  explicit BitWriter(std::string& out) : out_(out) {}

  void put(uint32_t bits, int count) {
    pending_ = (pending_ << count) | (bits & ((1u << count) - 1));
    pendingCount_ += count;
    while (pendingCount_ >= 8) {
      pendingCount_ -= 8;
      const char byte = static_cast<char>((pending_ >> pendingCount_) & 0xFF);
      out_.push_back(byte);
      if (byte == '\xFF') out_.push_back('\0');
    }
  }

  // A partial last byte is filled with 1 bits, which no decoder takes for a code.
  void flush() {
    if (pendingCount_ > 0) put(0x7F, 8 - pendingCount_);
  }

 private:
  std::string& out_;
  uint32_t pending_ = 0;
  int pendingCount_ = 0;
};

// Basis of the 8-point DCT with the JPEG scaling: row u holds C(u)/2 * cos((2x+1)u*pi/16), so
// that applying it to the rows and then the columns of a block gives the 2-D coefficients.
std::array<float, 64> dctBasis() {
  std::array<float, 64> basis{};
  for (int u = 0; u < 8; ++u) {
    const double scale = u == 0 ? 0.5 / std::sqrt(2.0) : 0.5;
    for (int x = 0; x < 8; ++x) {
      basis[u * 8 + x] = static_cast<float>(scale * std::cos((2 * x + 1) * u * CV_PI / 16));
    }
  }
  return basis;
}

void forwardDct(const std::array<float, 64>& samples, std::array<float, 64>& coefficients) {
  static const std::array<float, 64> basis = dctBasis();
  std::array<float, 64> rows{};
  for (int y = 0; y < 8; ++y) {
    for (int u = 0; u < 8; ++u) {
      float sum = 0;
      for (int x = 0; x < 8; ++x) sum += basis[u * 8 + x] * samples[y * 8 + x];
      rows[y * 8 + u] = sum;
    }
  }
  for (int v = 0; v < 8; ++v) {
    for (int u = 0; u < 8; ++u) {
      float sum = 0;
      for (int y = 0; y < 8; ++y) sum += basis[v * 8 + y] * rows[y * 8 + u];
      coefficients[v * 8 + u] = sum;
    }
  }
}

// The size category of a value and its low bits as JPEG codes them: negative values as
// value - 1 in that many bits.
void putValue(BitWriter& writer, const HuffmanTable& table, int symbolHigh, int value) {
  const int magnitude = std::abs(value);
  int category = 0;
  while ((magnitude >> category) != 0) ++category;
  const HuffmanCode& code = table[symbolHigh | category];
  writer.put(code.bits, code.length);
  if (category > 0) writer.put(static_cast<uint32_t>(value < 0 ? value - 1 : value), category);
}

void encodeBlock(const std::array<float, 64>& samples, int& previousDc, const HuffmanTable& dc,
                 const HuffmanTable& ac, BitWriter& writer) {
  std::array<float, 64> coefficients;
  forwardDct(samples, coefficients);
  // With every quantiser 1, quantising is rounding.
  std::array<int, 64> zigZag;
  for (int k = 0; k < 64; ++k) zigZag[k] = static_cast<int>(std::lround(coefficients[kZigZag[k]]));

  putValue(writer, dc, 0, zigZag[0] - previousDc);
  previousDc = zigZag[0];

  int zeros = 0;
  for (int k = 1; k < 64; ++k) {
    if (zigZag[k] == 0) {
      ++zeros;
      continue;
    }
    for (; zeros >= 16; zeros -= 16) writer.put(ac[0xF0].bits, ac[0xF0].length);  // 16 zeros
    putValue(writer, ac, zeros << 4, zigZag[k]);
    zeros = 0;
  }
  if (zeros > 0) writer.put(ac[0x00].bits, ac[0x00].length);  // end of block
}

void put16(std::string& out, int value) {
  out.push_back(static_cast<char>(value >> 8));
  out.push_back(static_cast<char>(value & 0xFF));
}

void putSegment(std::string& out, uint8_t marker, const std::string& payload) {
  out.push_back('\xFF');
  out.push_back(static_cast<char>(marker));
  put16(out, static_cast<int>(payload.size()) + 2);
  out += payload;
}

template <size_t N>
std::string huffmanPayload(int classAndId, const std::array<uint8_t, 16>& counts,
                           const std::array<uint8_t, N>& symbols) {
  std::string payload(1, static_cast<char>(classAndId));
  payload.append(counts.begin(), counts.end());
  payload.append(symbols.begin(), symbols.end());
  return payload;
}

}  // namespace

std::string encodeCmykJpeg(const cv::Mat& bgr) {
  if (bgr.empty() || bgr.type() != CV_8UC3) {
    throw std::invalid_argument("encodeCmykJpeg: needs a non-empty 8-bit, 3-channel image");
  }
  if (bgr.cols > 65535 || bgr.rows > 65535) {
    throw std::invalid_argument("encodeCmykJpeg: a JPEG side is at most 65535 pixels");
  }
  std::string out = "\xFF\xD8";

  // Adobe APP14 with transform 0: the four components are CMYK as stored, not YCCK. Files
  // with this marker hold inverted CMYK (255 = no ink), as Photoshop writes them, and that is
  // what OpenCV's reader converts from.
  std::string adobe = "Adobe";
  put16(adobe, 100);  // version
  put16(adobe, 0);    // flags
  put16(adobe, 0);
  adobe.push_back('\0');  // transform
  putSegment(out, 0xEE, adobe);

  putSegment(out, 0xDB, std::string(1, '\0') + std::string(64, '\1'));  // table 0: every quantiser 1

  // SOF0: 8-bit samples, the size, four components with ids 1..4, none subsampled, table 0.
  std::string frame(1, '\x08');
  put16(frame, bgr.rows);
  put16(frame, bgr.cols);
  frame.push_back('\x04');
  for (char id = 1; id <= 4; ++id) frame += std::string{id, '\x11', '\0'};
  putSegment(out, 0xC0, frame);

  putSegment(out, 0xC4, huffmanPayload(0x00, kDcCounts, kDcSymbols) +
                             huffmanPayload(0x10, kAcCounts, kAcSymbols));

  // One interleaved scan of all four components, each with DC and AC table 0.
  std::string scan(1, '\x04');
  for (char id = 1; id <= 4; ++id) scan += std::string{id, '\0'};
  scan += std::string("\x00\x3F\x00", 3);
  putSegment(out, 0xDA, scan);

  static const HuffmanTable dc = huffmanTable(kDcCounts, kDcSymbols);
  static const HuffmanTable ac = huffmanTable(kAcCounts, kAcSymbols);
  BitWriter writer(out);
  std::array<int, 4> previousDc{};
  std::array<float, 64> samples;
  // Each MCU is one 8x8 block of C, M, Y and K. The inverted convention makes C the red
  // level, M the green and Y the blue, with K = 255 for no black ink. Blocks past the right
  // or bottom edge repeat the last column or row, which keeps the padding cheap to code.
  for (int top = 0; top < bgr.rows; top += 8) {
    for (int left = 0; left < bgr.cols; left += 8) {
      for (int component = 0; component < 4; ++component) {
        for (int y = 0; y < 8; ++y) {
          const cv::Vec3b* row = bgr.ptr<cv::Vec3b>(std::min(top + y, bgr.rows - 1));
          for (int x = 0; x < 8; ++x) {
            const int level = component == 3 ? 255 : row[std::min(left + x, bgr.cols - 1)][2 - component];
            samples[y * 8 + x] = static_cast<float>(level - 128);
          }
        }
        encodeBlock(samples, previousDc[component], dc, ac, writer);
      }
    }
  }
  writer.flush();
  out += "\xFF\xD9";
  return out;
}

}  // namespace ringcalib::test
