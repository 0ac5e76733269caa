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
#include <set>
#include <utility>
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

// Parameter bytes of the DVI commands that carry no font or character,
// from set_rule (132) to z4 (170); -1 for those handled apart.
int FixedParameterBytes(unsigned char opcode) {
  switch (opcode) {
    case 132: case 137: return 8;                                  // set_rule, put_rule
    case 138: case 140: case 141: case 142: return 0;              // nop eop push pop
    case 139: return 44;                                           // bop
    case 147: case 152: case 161: case 166: return 0;              // w0 x0 y0 z0
    default: break;
  }
  if (opcode >= 143 && opcode <= 170) {
    // right1..4, w1..4, x1..4, down1..4, y1..4, z1..4 (the *0 forms above)
    static const unsigned char firsts[] = {143, 148, 153, 157, 162, 167};
    for (unsigned char first : firsts)
      if (opcode >= first && opcode < first + 4) return opcode - first + 1;
  }
  return -1;
}

constexpr unsigned char kSet1 = 128;
constexpr unsigned char kPut1 = 133;
constexpr unsigned char kFntNum0 = 171;
constexpr unsigned char kFnt1 = 235;
constexpr unsigned char kXxx1 = 239;
constexpr unsigned char kBop = 139;
constexpr unsigned char kEop = 140;
constexpr unsigned char kDirection = 255;  // pTeX's dir[1]

// What a walk over DVI commands meets: a character set in the current font.
struct CommandWalk {
  bool pages = false;        // DVI pages (bop, eop, fnt_def allowed) or a VF packet
  bool japanese = false;     // pTeX's direction command allowed
  bool haveFont = false;
  std::uint32_t font = 0;    // the current font number
  std::set<std::pair<std::uint32_t, std::uint32_t>> sets;  // (font, character)
};

// Walks commands up to the cursor's end, or in pages up to post (the
// cursor is left on it). false with error on a command that does not
// belong there or runs past the end.
bool WalkCommands(Cursor& cursor, CommandWalk& walk, std::vector<TexFontDef>& defs,
                  FontIndex& index, std::string& error) {
  const char* truncated = walk.pages ? TR("truncated page") : TR("truncated character packet");
  const char* garbled = walk.pages ? TR("garbled page") : TR("garbled character packet");
  while (cursor.Has(1)) {
    const unsigned char opcode = cursor.Peek();
    std::uint32_t character = 0;
    bool sets = false;
    if (opcode < kSet1) {
      cursor.Skip(1);
      character = opcode;
      sets = true;
    } else if ((opcode >= kSet1 && opcode < kSet1 + 4) || (opcode >= kPut1 && opcode < kPut1 + 4)) {
      const std::size_t bytes = opcode - (opcode >= kPut1 ? kPut1 : kSet1) + 1;
      if (!cursor.Has(1 + bytes)) {
        error = truncated;
        return false;
      }
      cursor.Skip(1);
      character = cursor.Read(bytes);
      sets = true;
    } else if (opcode >= kFntNum0 && opcode < kFnt1) {
      cursor.Skip(1);
      walk.font = opcode - kFntNum0;
      walk.haveFont = true;
    } else if (opcode >= kFnt1 && opcode < kFnt1 + 4) {
      const std::size_t bytes = opcode - kFnt1 + 1;
      if (!cursor.Has(1 + bytes)) {
        error = truncated;
        return false;
      }
      cursor.Skip(1);
      walk.font = cursor.Read(bytes);
      walk.haveFont = true;
    } else if (opcode >= kXxx1 && opcode < kXxx1 + 4) {
      const std::size_t bytes = opcode - kXxx1 + 1;
      if (!cursor.Has(1 + bytes)) {
        error = truncated;
        return false;
      }
      cursor.Skip(1);
      const std::uint32_t length = cursor.Read(bytes);
      if (!cursor.Has(length)) {
        error = truncated;
        return false;
      }
      cursor.Skip(length);
    } else if (walk.pages && IsFontDef(opcode)) {
      // TeX defines a font on the page before its first use, and again in
      // the postamble; the postamble's are the ones kept.
      if (!ReadFontDef(cursor, defs, index, error)) return false;
    } else if (walk.pages && opcode == kPost) {
      return true;
    } else if (walk.japanese && opcode == kDirection) {
      if (!cursor.Has(2)) {
        error = truncated;
        return false;
      }
      cursor.Skip(2);
    } else {
      const int bytes = FixedParameterBytes(opcode);
      if (bytes < 0 || (!walk.pages && (opcode == kBop || opcode == kEop))) {
        error = garbled;
        return false;
      }
      if (!cursor.Has(1 + static_cast<std::size_t>(bytes))) {
        error = truncated;
        return false;
      }
      cursor.Skip(1 + static_cast<std::size_t>(bytes));
    }
    if (sets) {
      if (!walk.haveFont) {
        error = walk.pages ? TR("character set before any font") : garbled;
        return false;
      }
      walk.sets.emplace(walk.font, character);
    }
  }
  if (walk.pages) {
    error = "no postamble";
    return false;
  }
  return true;
}

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
  // The pages, for the characters each font sets: a font that sets none is
  // loaded by no driver.
  CommandWalk walk;
  walk.pages = true;
  walk.japanese = id == kDviIdJapanese;
  Cursor pages(data, post + 1, preambleEnd);
  if (!WalkCommands(pages, walk, out.fonts, index, error)) return false;
  if (pages.Offset() != post) {
    error = TR("garbled page");
    return false;
  }
  for (const auto& set : walk.sets) {
    auto font = index.find(set.first);
    if (font == index.end()) {
      error = StringPrintf(TR("font %u used but not defined"), set.first);
      return false;
    }
    out.fonts[font->second].characters.push_back(set.second);  // ascending: sets is ordered
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
    const std::uint32_t code = cursor.Read(header == 8 ? 4 : 1);
    cursor.Skip(header == 8 ? 4 : 3);  // tfm width
    // The packet's own commands; its current font starts as the first one
    // the VF defines.
    Cursor packet(data, cursor.Offset() + static_cast<std::size_t>(length), cursor.Offset());
    CommandWalk walk;
    walk.haveFont = !out.fonts.empty();
    walk.font = walk.haveFont ? out.fonts[0].number : 0;
    if (!WalkCommands(packet, walk, out.fonts, index, error)) return false;
    std::vector<VfUse>& uses = out.packets[code];
    for (const auto& set : walk.sets) {
      auto font = index.find(set.first);
      if (font == index.end()) {
        error = StringPrintf(TR("character packet selects undefined font %u"), set.first);
        return false;
      }
      uses.push_back({font->second, set.second});
    }
    cursor.Skip(static_cast<std::size_t>(length));
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

namespace {

// A 128-bit unsigned number, enough for baseDpi x magnification x scaled
// size (< 2^94), written out so that 32-bit builds have it too.
struct Wide {
  std::uint64_t high = 0;
  std::uint64_t low = 0;
};

Wide Multiply(std::uint64_t a, std::uint64_t b) {
  const std::uint64_t mask = 0xFFFFFFFFu;
  const std::uint64_t ll = (a & mask) * (b & mask);
  const std::uint64_t lh = (a & mask) * (b >> 32);
  const std::uint64_t hl = (a >> 32) * (b & mask);
  const std::uint64_t hh = (a >> 32) * (b >> 32);
  const std::uint64_t middle = (ll >> 32) + (lh & mask) + (hl & mask);
  Wide product;
  product.low = (middle << 32) | (ll & mask);
  product.high = hh + (lh >> 32) + (hl >> 32) + (middle >> 32);
  return product;
}

Wide Add(Wide a, std::uint64_t b) {
  a.low += b;
  if (a.low < b) ++a.high;
  return a;
}

// floor(a / b) when it fits 64 bits, else UINT64_MAX; b > 0 and b < 2^63.
std::uint64_t Divide(const Wide& a, std::uint64_t b) {
  if (a.high >= b) return std::numeric_limits<std::uint64_t>::max();
  std::uint64_t remainder = a.high;
  std::uint64_t quotient = 0;
  for (int bit = 63; bit >= 0; --bit) {
    remainder = (remainder << 1) | ((a.low >> bit) & 1u);
    quotient <<= 1;
    if (remainder >= b) {
      remainder -= b;
      quotient |= 1u;
    }
  }
  return quotient;
}

}  // namespace

int MagstepFix(int baseDpi, long long dpi) {
  if (baseDpi <= 0 || dpi <= 0 || dpi > std::numeric_limits<int>::max()) return 0;
  // kpse_magstep_fix: walk the half magsteps away from baseDpi towards dpi
  // and take the first within one dpi; stop once past it.
  const int sign = dpi < baseDpi ? -1 : 1;
  for (int m = 0; m < kMaxHalfMagsteps; ++m) {
    const long long stepDpi = Magstep(m * sign, baseDpi);
    const long long difference = stepDpi - dpi;
    if (difference >= -1 && difference <= 1 && stepDpi > 0 &&
        stepDpi <= std::numeric_limits<int>::max()) {
      return static_cast<int>(stepDpi);
    }
    if (difference * sign > 0) break;
  }
  return static_cast<int>(dpi);
}

int DriverResolution(int baseDpi, std::uint64_t magnification, std::uint64_t scaledSize,
                     std::uint64_t designSize) {
  constexpr std::uint64_t kLimit = std::uint64_t{1} << 32;
  if (baseDpi <= 0 || magnification == 0 || magnification >= kLimit || scaledSize == 0 ||
      scaledSize >= kLimit || designSize == 0 || designSize >= kLimit) {
    return 0;
  }
  // round(baseDpi x mag x s / (1000 x d)) = floor((2 N + D) / 2 D).
  const std::uint64_t denominator = 2000 * designSize;
  Wide numerator = Multiply(static_cast<std::uint64_t>(baseDpi) * magnification, scaledSize);
  numerator.high = (numerator.high << 1) | (numerator.low >> 63);
  numerator.low <<= 1;
  numerator = Add(numerator, denominator / 2);
  const std::uint64_t dpi = Divide(numerator, denominator);
  if (dpi == 0 || dpi > static_cast<std::uint64_t>(std::numeric_limits<int>::max())) return 0;
  return MagstepFix(baseDpi, static_cast<long long>(dpi));
}
