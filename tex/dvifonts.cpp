// DVI and VF font definitions, read the way dvitype and vftovp read them, and
// the resolution rule of kpathsea's magstep fix, which dvips applies to every
// font before it looks for a PK file.
//
// Every read goes through Cursor, which knows the end of the buffer: no
// length field is trusted and none sizes an allocation beyond the bytes that
// are there (a name is at most 510 bytes).
#include "tex/dvifonts.h"
#include "ui/log.h"

#include <limits>
#include <unordered_map>

namespace {

constexpr unsigned char kSetChar0 = 0;       // short character packets: 0..241
constexpr unsigned char kLongChar = 242;
constexpr unsigned char kNop = 138;
constexpr unsigned char kFntDef1 = 243;      // ..kFntDef1 + 3 = fnt_def4
constexpr unsigned char kPre = 247;
constexpr unsigned char kPost = 248;
constexpr unsigned char kPostPost = 249;
constexpr unsigned char kDviId = 2;
constexpr unsigned char kDviIdJapanese = 3;  // pTeX's post_post with direction commands
constexpr unsigned char kVfId = 202;
constexpr unsigned char kSignature = 223;
// TeX writes four to seven 223s after post_post; dvitype insists on four.
constexpr std::size_t kMinSignatureBytes = 4;
constexpr std::size_t kPreambleBytes = 15;   // pre i num den mag k, before the comment
constexpr std::size_t kPostambleBytes = 29;  // post p num den mag l u s t
constexpr std::size_t kPostPostBytes = 6;    // post_post q i

class Cursor {
 public:
  Cursor(const unsigned char* data, std::size_t size, std::size_t at = 0)
      : data_(data), size_(size), at_(at) {}
  std::size_t Offset() const { return at_; }
  std::size_t Left() const { return at_ <= size_ ? size_ - at_ : 0; }
  bool Has(std::size_t bytes) const { return Left() >= bytes; }
  unsigned char Peek() const { return data_[at_]; }
  // Big-endian unsigned of 1..4 bytes; the caller has checked Has(bytes).
  std::uint32_t Read(std::size_t bytes) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i) value = (value << 8) | data_[at_++];
    return value;
  }
  std::string ReadText(std::size_t bytes) {
    std::string text(reinterpret_cast<const char*>(data_ + at_), bytes);
    at_ += bytes;
    return text;
  }
  void Skip(std::size_t bytes) { at_ += bytes; }

 private:
  const unsigned char* data_;
  std::size_t size_;
  std::size_t at_;
};

bool SameDefinition(const TexFontDef& a, const TexFontDef& b) {
  return a.checksum == b.checksum && a.scaledSize == b.scaledSize &&
         a.designSize == b.designSize && a.area == b.area && a.name == b.name;
}

// Font numbers to their place in the list, so that a file with thousands of
// definitions is not checked pair by pair.
using FontIndex = std::unordered_map<std::uint32_t, std::size_t>;

// Reads one fnt_def whose opcode the cursor is on, and adds it to fonts
// unless the same number was defined before with the same values.
bool ReadFontDef(Cursor& cursor, std::vector<TexFontDef>& fonts, FontIndex& index,
                 std::string& error) {
  const std::size_t numberBytes = cursor.Peek() - kFntDef1 + 1;
  if (!cursor.Has(1 + numberBytes + 14)) {
    error = TR("truncated font definition");
    return false;
  }
  cursor.Skip(1);
  TexFontDef font;
  font.number = cursor.Read(numberBytes);
  font.checksum = cursor.Read(4);
  font.scaledSize = cursor.Read(4);
  font.designSize = cursor.Read(4);
  const std::size_t areaBytes = cursor.Read(1);
  const std::size_t nameBytes = cursor.Read(1);
  if (!cursor.Has(areaBytes + nameBytes)) {
    error = TR("truncated font definition");
    return false;
  }
  font.area = cursor.ReadText(areaBytes);
  font.name = cursor.ReadText(nameBytes);
  if (font.name.empty()) {
    error = TR("font definition without a name");
    return false;
  }
  auto known = index.find(font.number);
  if (known != index.end()) {
    if (SameDefinition(fonts[known->second], font)) return true;
    error = StringPrintf(TR("font %u defined twice with different values"),
                         static_cast<unsigned>(font.number));
    return false;
  }
  index[font.number] = fonts.size();
  fonts.push_back(std::move(font));
  return true;
}

bool IsFontDef(unsigned char opcode) { return opcode >= kFntDef1 && opcode < kFntDef1 + 4; }

// kpathsea's magstep (magstep.c): n half magsteps of bdpi, computed with the
// same factors so that the rounding agrees with every kpathsea program.
// long long: twenty magsteps of a large baseDpi do not fit an int.
long long Magstep(int halfSteps, int baseDpi) {
  const bool negative = halfSteps < 0;
  int n = negative ? -halfSteps : halfSteps;
  double t = 1.0;
  if (n & 1) {
    n &= ~1;
    t = 1.095445115;
  }
  for (; n > 8; n -= 8) t *= 2.0736;
  for (; n > 0; n -= 2) t *= 1.2;
  return static_cast<long long>(0.5 + (negative ? baseDpi / t : baseDpi * t));
}

// kpathsea's MAGSTEP_MAX: twenty whole magsteps either way.
constexpr int kMaxHalfMagsteps = 40;

}  // namespace

bool ReadDviFonts(const unsigned char* data, std::size_t size, DviFontList& out,
                  std::string& error) {
  out = DviFontList();
  if (size < kPreambleBytes || data[0] != kPre || data[1] != kDviId) {
    error = TR("not a DVI file");
    return false;
  }
  const std::size_t preambleEnd = kPreambleBytes + data[kPreambleBytes - 1];
  // The end: post_post q i, then the 223s.
  std::size_t end = size;
  while (end > preambleEnd && data[end - 1] == kSignature) --end;
  if (size - end < kMinSignatureBytes || end < preambleEnd + kPostPostBytes) {
    error = TR("no postamble");
    return false;
  }
  const unsigned char id = data[end - 1];
  const std::size_t postPost = end - kPostPostBytes;
  if ((id != kDviId && id != kDviIdJapanese) || data[postPost] != kPostPost) {
    error = TR("no postamble");
    return false;
  }
  Cursor pointer(data, size, postPost + 1);
  const std::size_t post = pointer.Read(4);
  if (post < preambleEnd || post >= postPost || postPost - post < kPostambleBytes ||
      data[post] != kPost) {
    error = TR("garbled postamble");
    return false;
  }
  Cursor cursor(data, postPost, post + 5);  // after post p
  out.num = cursor.Read(4);
  out.den = cursor.Read(4);
  out.magnification = cursor.Read(4);
  if (out.magnification == 0 || out.magnification > std::numeric_limits<std::int32_t>::max()) {
    error = TR("bad magnification");
    return false;
  }
  cursor.Skip(kPostambleBytes - 17);  // l u s t
  FontIndex index;
  // Up to post_post: the cursor's end, so a definition that runs into it is
  // truncated.
  while (cursor.Left() > 0) {
    const unsigned char opcode = cursor.Peek();
    if (opcode == kNop) {
      cursor.Skip(1);
    } else if (IsFontDef(opcode)) {
      if (!ReadFontDef(cursor, out.fonts, index, error)) return false;
    } else {
      error = TR("garbled font definition");
      return false;
    }
  }
  return true;
}

bool ReadVfFonts(const unsigned char* data, std::size_t size, VfFontList& out,
                 std::string& error) {
  out = VfFontList();
  if (size < 2 || data[0] != kPre || data[1] != kVfId) {
    error = TR("not a VF file");
    return false;
  }
  Cursor cursor(data, size, 2);
  if (!cursor.Has(1) || !cursor.Has(1 + cursor.Peek() + 8)) {
    error = TR("truncated preamble");
    return false;
  }
  cursor.Skip(cursor.Read(1));  // k, comment
  cursor.Skip(4);               // cs
  out.designSize = cursor.Read(4);
  FontIndex index;
  // Font definitions, then character packets, then post and more 248s up to
  // a multiple of four bytes. The packets are walked (not kept) so that a
  // truncated file is refused rather than read as fewer characters. The
  // number of 248s is not checked: a file cut among them has lost nothing.
  while (cursor.Has(1) && IsFontDef(cursor.Peek())) {
    if (!ReadFontDef(cursor, out.fonts, index, error)) return false;
  }
  while (cursor.Has(1) && cursor.Peek() != kPost) {
    const unsigned char opcode = cursor.Peek();
    std::size_t header = 0;
    std::uint64_t length = 0;
    if (opcode == kLongChar) {
      if (!cursor.Has(13)) {
        error = TR("truncated character packet");
        return false;
      }
      cursor.Skip(1);
      length = cursor.Read(4);
      header = 8;  // cc[4] tfm[4]
    } else if (opcode >= kSetChar0 && opcode < kLongChar) {
      length = opcode;
      cursor.Skip(1);
      header = 4;  // cc[1] tfm[3]
    } else if (IsFontDef(opcode)) {
      error = TR("font definition after the characters");
      return false;
    } else {
      error = TR("garbled character packet");
      return false;
    }
    if (cursor.Left() < header || cursor.Left() - header < length) {
      error = TR("truncated character packet");
      return false;
    }
    cursor.Skip(header + static_cast<std::size_t>(length));
  }
  if (!cursor.Has(1)) {
    error = TR("no postamble");
    return false;
  }
  while (cursor.Has(1)) {
    if (cursor.Read(1) != kPost) {
      error = TR("garbled postamble");
      return false;
    }
  }
  return true;
}

int DriverResolution(int baseDpi, double magnification) {
  const double exact = static_cast<double>(baseDpi) * magnification;
  if (baseDpi <= 0 || !(exact + 0.5 >= 1.0) ||
      !(exact + 0.5 < static_cast<double>(std::numeric_limits<int>::max()))) {
    return 0;
  }
  const int dpi = static_cast<int>(exact + 0.5);
  // kpse_magstep_fix: walk the half magsteps away from baseDpi towards dpi
  // and take the first within one dpi; stop once past it.
  const int sign = dpi < baseDpi ? -1 : 1;
  for (int m = 0; m < kMaxHalfMagsteps; ++m) {
    const long long stepDpi = Magstep(m * sign, baseDpi);
    const long long difference = stepDpi - dpi;
    if (difference >= -1 && difference <= 1 && stepDpi <= std::numeric_limits<int>::max()) {
      return static_cast<int>(stepDpi);
    }
    if (difference * sign > 0) break;
  }
  return dpi;
}
