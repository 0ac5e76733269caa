// The DVI and VF readers over bytes built here, the driver resolution rule,
// and the expansion of documents through virtual fonts with a table lookup.
#include "tex/dvifonts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "tex/docfonts.h"

namespace {

using Bytes = std::vector<unsigned char>;

void Put(Bytes& out, std::uint64_t value, int bytes) {
  // Wider than the value: the high bytes are 0 (a shift by 64 or more is undefined).
  for (int i = bytes - 1; i >= 0; --i)
    out.push_back(i < 8 ? static_cast<unsigned char>(value >> (8 * i)) : 0);
}

struct Def {
  Def(std::uint32_t number, std::string name, std::uint32_t scaled = 655360,  // 10 pt
      std::uint32_t design = 655360, int numberBytes = 1, std::string area = std::string())
      : number(number), name(std::move(name)), scaled(scaled), design(design),
        numberBytes(numberBytes), area(std::move(area)) {}
  std::uint32_t number;
  std::string name;
  std::uint32_t scaled;
  std::uint32_t design;
  int numberBytes;
  std::string area;
};

void PutDef(Bytes& out, const Def& def) {
  out.push_back(static_cast<unsigned char>(242 + def.numberBytes));
  Put(out, def.number, def.numberBytes);
  Put(out, 0x12345678, 4);
  Put(out, def.scaled, 4);
  Put(out, def.design, 4);
  out.push_back(static_cast<unsigned char>(def.area.size()));
  out.push_back(static_cast<unsigned char>(def.name.size()));
  out.insert(out.end(), def.area.begin(), def.area.end());
  out.insert(out.end(), def.name.begin(), def.name.end());
}

// A DVI file as TeX writes it: preamble, one empty page, postamble with the
// definitions, post_post, 223s up to a multiple of four (at least four).
Bytes Dvi(const std::vector<Def>& defs, std::uint32_t mag = 1000, int id = 2,
          const Bytes& page = Bytes()) {
  Bytes out = {247, 2};
  Put(out, 25400000, 4);
  Put(out, 473628672, 4);
  Put(out, mag, 4);
  const std::string comment = " TeX output";
  out.push_back(static_cast<unsigned char>(comment.size()));
  out.insert(out.end(), comment.begin(), comment.end());
  const std::size_t bop = out.size();
  out.push_back(139);
  Put(out, 0, 44);
  out.insert(out.end(), page.begin(), page.end());
  out.push_back(140);  // eop
  const std::size_t post = out.size();
  out.push_back(248);
  Put(out, bop, 4);
  Put(out, 25400000, 4);
  Put(out, 473628672, 4);
  Put(out, mag, 4);
  Put(out, 0, 12);
  for (const Def& def : defs) PutDef(out, def);
  out.push_back(249);
  Put(out, post, 4);
  out.push_back(static_cast<unsigned char>(id));
  do out.push_back(223);
  while (out.size() % 4 != 0 || out[out.size() - 4] != 223);
  return out;
}

// A VF file as vptovf writes it: one short packet per character, character
// 'A' + c set from font c modulo the number of fonts.
Bytes Vf(const std::vector<Def>& defs, int characters = 2) {
  Bytes out = {247, 202, 3, 'v', 'p', 'l'};
  Put(out, 0xCAFE, 4);
  Put(out, 10u << 20, 4);  // ds 10 pt
  for (const Def& def : defs) PutDef(out, def);
  for (int c = 0; c < characters; ++c) {
    const unsigned char code = static_cast<unsigned char>('A' + c);
    out.push_back(code < 128 ? 6 : 7);  // pl
    out.push_back(code);
    Put(out, 0x80000, 3);  // tfm width
    out.push_back(238);    // fnt4
    Put(out, defs.empty() ? 0 : defs[static_cast<std::size_t>(c) % defs.size()].number, 4);
    if (code >= 128) out.push_back(128);  // set1
    out.push_back(code);
  }
  do out.push_back(248);
  while (out.size() % 4 != 0);
  return out;
}

std::string DviError(const Bytes& bytes) {
  DviFontList fonts;
  std::string error;
  EXPECT_FALSE(ReadDviFonts(bytes.data(), bytes.size(), fonts, error));
  return error;
}

std::string VfError(const Bytes& bytes) {
  VfFontList fonts;
  std::string error;
  EXPECT_FALSE(ReadVfFonts(bytes.data(), bytes.size(), fonts, error));
  return error;
}

std::size_t PostPost(const Bytes& dvi) {
  std::size_t at = dvi.size();
  while (dvi[at - 1] == 223) --at;
  return at - 6;
}

DviFontList ReadDvi(const Bytes& bytes) {
  DviFontList fonts;
  std::string error;
  EXPECT_TRUE(ReadDviFonts(bytes.data(), bytes.size(), fonts, error)) << error;
  return fonts;
}

TEST(ReadDviFonts, GoodFile) {
  DviFontList fonts = ReadDvi(Dvi({{0, "cmr10"}, {1, "cmbx12", 786432, 786432}, {0, "cmr10"}}, 1095));
  EXPECT_EQ(fonts.num, 25400000u);
  EXPECT_EQ(fonts.den, 473628672u);
  EXPECT_EQ(fonts.magnification, 1095u);
  ASSERT_EQ(fonts.fonts.size(), 2u);  // the same definition twice is one font
  EXPECT_EQ(fonts.fonts[0].name, "cmr10");
  EXPECT_EQ(fonts.fonts[0].checksum, 0x12345678u);
  EXPECT_EQ(fonts.fonts[1].number, 1u);
  EXPECT_EQ(fonts.fonts[1].scaledSize, 786432u);
  EXPECT_TRUE(ReadDvi(Dvi({})).fonts.empty());
}

TEST(ReadDviFonts, FntDefOneToFourNopsAreaAndJapaneseId) {
  std::vector<Def> defs = {{7, "a", 1, 2, 1},
                           {0x1234, "bb", 3, 4, 2},
                           {0x123456, "ccc", 5, 6, 3},
                           {0xFFFFFFFF, "dddd", 7, 8, 4, "fonts/"}};
  Bytes dvi = Dvi(defs, 1000, 3);
  dvi.insert(dvi.begin() + static_cast<long>(PostPost(dvi)), 138);  // nop
  DviFontList fonts = ReadDvi(dvi);
  ASSERT_EQ(fonts.fonts.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(fonts.fonts[i].number, defs[i].number);
    EXPECT_EQ(fonts.fonts[i].name, defs[i].name);
    EXPECT_EQ(fonts.fonts[i].scaledSize, defs[i].scaled);
    EXPECT_EQ(fonts.fonts[i].designSize, defs[i].design);
  }
  EXPECT_EQ(fonts.fonts[3].area, "fonts/");
}

TEST(ReadDviFonts, DamagedFilesRefused) {
  const Bytes good = Dvi({{0, "cmr10"}, {1, "logo10"}});
  EXPECT_EQ(DviError(Bytes()), "not a DVI file");
  EXPECT_EQ(DviError(Vf({})), "not a DVI file");
  Bytes wrongId = good;
  wrongId[1] = 3;
  EXPECT_EQ(DviError(wrongId), "not a DVI file");
  // Cut anywhere after the preamble: the end no longer holds post_post.
  std::size_t signature = 0;
  while (good[good.size() - 1 - signature] == 223) ++signature;
  for (std::size_t cut : {std::size_t{30}, good.size() / 2, good.size() - signature,
                          good.size() - signature + 3}) {
    EXPECT_EQ(DviError(Bytes(good.begin(), good.begin() + static_cast<long>(cut))), "no postamble")
        << cut;
  }
  Bytes badTailId = good;
  badTailId[PostPost(good) + 5] = 4;
  EXPECT_EQ(DviError(badTailId), "no postamble");
  Bytes noPostPost = good;
  noPostPost[PostPost(good)] = 138;
  EXPECT_EQ(DviError(noPostPost), "no postamble");
  for (std::uint32_t q : {0u, 5u, 0xFFFFFFFFu, static_cast<std::uint32_t>(PostPost(good) - 3)}) {
    Bytes badPointer = good;
    for (int i = 0; i < 4; ++i) badPointer[PostPost(good) + 1 + i] = static_cast<unsigned char>(q >> (24 - 8 * i));
    EXPECT_EQ(DviError(badPointer), "garbled postamble") << q;
  }
  EXPECT_EQ(DviError(Dvi({{0, "cmr10"}}, 0)), "bad magnification");
  EXPECT_EQ(DviError(Dvi({{0, "cmr10"}}, 0x80000000u)), "bad magnification");
}

TEST(ReadDviFonts, DamagedDefinitionsRefused) {
  const Bytes good = Dvi({{0, "cmr10"}});
  const std::size_t postPost = PostPost(good);
  // The name's length runs past post_post.
  Bytes longName = good;
  longName[postPost - 6] = 200;
  EXPECT_EQ(DviError(longName), "truncated font definition");
  // The definition lacks its last bytes: post_post comes early.
  Bytes shortDef = good;
  shortDef.erase(shortDef.begin() + static_cast<long>(postPost) - 2, shortDef.begin() + static_cast<long>(postPost));
  for (int i = 0; i < 4; ++i) shortDef[postPost - 1 + i] = good[postPost + 1 + i];
  EXPECT_EQ(DviError(shortDef), "truncated font definition");
  Bytes stray = good;
  stray[postPost - 21] = 139;  // bop where fnt_def1 stood
  EXPECT_EQ(DviError(stray), "garbled font definition");
  EXPECT_EQ(DviError(Dvi({{0, ""}})), "font definition without a name");
  EXPECT_EQ(DviError(Dvi({{5, "cmr10"}, {5, "cmr10", 786432}})),
            "font 5 defined twice with different values");
}

TEST(ReadVfFonts, GoodFile) {
  Bytes vf = Vf({{0, "cmr10", 1258291}, {1, "cmbx10", 838861, 10u << 20, 2}});
  VfFontList fonts;
  std::string error;
  ASSERT_TRUE(ReadVfFonts(vf.data(), vf.size(), fonts, error)) << error;
  EXPECT_EQ(fonts.designSize, 10u << 20);
  ASSERT_EQ(fonts.fonts.size(), 2u);
  EXPECT_EQ(fonts.fonts[0].scaledSize, 1258291u);
  EXPECT_EQ(fonts.fonts[1].name, "cmbx10");
  // A long character packet, and no characters at all.
  Bytes longPacket = {247, 202, 0, 0, 0, 0, 0, 0, 16, 0, 0, 242, 0, 0, 0, 1, 0, 0, 0, 'A', 0, 8, 0, 0, 138};
  while (longPacket.size() % 4) longPacket.push_back(248);
  longPacket.push_back(248);
  EXPECT_TRUE(ReadVfFonts(longPacket.data(), longPacket.size(), fonts, error)) << error;
  Bytes empty = Vf({}, 0);
  EXPECT_TRUE(ReadVfFonts(empty.data(), empty.size(), fonts, error)) << error;
}

TEST(ReadVfFonts, DamagedFilesRefused) {
  const Bytes good = Vf({{0, "cmr10"}, {1, "cmbx10"}});
  EXPECT_EQ(VfError(Bytes()), "not a VF file");
  EXPECT_EQ(VfError(Dvi({})), "not a VF file");
  EXPECT_EQ(VfError(Bytes(good.begin(), good.begin() + 8)), "truncated preamble");
  EXPECT_EQ(VfError(Bytes(good.begin(), good.begin() + 20)), "truncated font definition");
  // Cut inside the packets, or just before post.
  std::size_t post = good.size();
  while (good[post - 1] == 248) --post;
  EXPECT_EQ(VfError(Bytes(good.begin(), good.begin() + static_cast<long>(post - 2))),
            "truncated character packet");
  EXPECT_EQ(VfError(Bytes(good.begin(), good.begin() + static_cast<long>(post))), "no postamble");
  Bytes garbledPost = good;
  garbledPost.push_back(0);
  EXPECT_EQ(VfError(garbledPost), "garbled postamble");
  Bytes badPacket = good;
  badPacket[post - 11] = 250;  // where the second packet starts
  EXPECT_EQ(VfError(badPacket), "garbled character packet");
  Bytes lateDef = good;
  lateDef[post - 11] = 243;
  EXPECT_EQ(VfError(lateDef), "font definition after the characters");
  Bytes hugeLong = {247, 202, 0, 0, 0, 0, 0, 0, 16, 0, 0, 242, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 'A', 0, 8, 0, 0, 248};
  EXPECT_EQ(VfError(hugeLong), "truncated character packet");
  EXPECT_EQ(VfError(Vf({{3, "a"}, {3, "b"}})), "font 3 defined twice with different values");
}

TEST(DriverResolution, DvipsValues) {
  // Measured with dvips -D 600 / -D 300 (kpathsea's magstep fix); sizes as
  // document magnification, scaled size, design size.
  struct Case {
    int base;
    std::uint64_t mag, scaled, design;
    int expected;
  } cases[] = {
      {600, 1095, 1200, 1000, 789},     // 788.4, snapped to magstep 1.5
      {600, 2074, 655360, 524288, 1556},  // exactly 1555.5: half up, as dvips
      {600, 1000, 1, 1, 600},
      {600, 1000, 1200, 1000, 720},
      {600, 1440, 1, 1, 864},
      {600, 1092, 1, 1, 655},           // two off magstep 0.5: left alone
      {600, 1098, 1, 1, 659},
      {600, 997, 1, 1, 598},
      {600, 833, 1, 1, 500},            // magstep -1
      {600, 831, 1, 1, 500},            // 498.6 -> 499, within one of 500
      {600, 836, 1, 1, 502},
      {600, 100, 1, 1, 61},             // 60, within one of magstep -12.5
      {600, 2985, 1, 1, 1792},          // 1791, magstep 6
      {600, 20000, 1, 1, 12000},
      {600, 199, 1, 1, 119},
      {2000000000, 1000, 1, 1, 2000000000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DriverResolution(c.base, c.mag, c.scaled, c.design), c.expected)
        << c.base << " x " << c.mag << " x " << c.scaled << "/" << c.design;
  }
}

TEST(DriverResolution, SnapsWithinOneOfEveryHalfMagstepBothWays) {
  // METAFONT's names for the half magsteps of cx and ljfour.
  const std::map<int, std::vector<int>> steps = {
      {300, {329, 360, 394, 432, 473, 518}},
      {600, {500, 548, 657, 720, 789, 864, 946, 1037}}};
  for (const auto& base : steps) {
    for (int step : base.second) {
      for (int off : {-1, 0, 1}) {
        EXPECT_EQ(DriverResolution(base.first, 1000, step + off, base.first), step)
            << base.first << ": " << step + off;
      }
      for (int off : {-2, 2}) {
        EXPECT_EQ(DriverResolution(base.first, 1000, step + off, base.first), step + off)
            << base.first << ": " << step + off;
      }
    }
  }
}

TEST(DriverResolution, OutOfRange) {
  EXPECT_EQ(DriverResolution(600, 0, 1, 1), 0);
  EXPECT_EQ(DriverResolution(600, 1000, 0, 1), 0);
  EXPECT_EQ(DriverResolution(600, 1000, 1, 0), 0);
  EXPECT_EQ(DriverResolution(600, 1, 1, 2000), 0);       // 0.3 dpi
  EXPECT_EQ(DriverResolution(0, 1000, 1, 1), 0);
  EXPECT_EQ(DriverResolution(600, 1000, 0xFFFFFFFFu, 1), 0);
  EXPECT_EQ(DriverResolution(600, std::uint64_t{1} << 32, 1, 1), 0);
  EXPECT_EQ(DriverResolution(0x7FFFFFFF, 0xFFFFFFFFu, 0xFFFFFFFFu, 1), 0);
}

class TableLookup : public VfLookup {
 public:
  std::map<std::string, Bytes> files;
  std::vector<std::vector<std::string>> calls;
  void FindVirtualFonts(const std::vector<std::string>& names,
                        std::map<std::string, VfFile>& found) override {
    calls.push_back(names);
    for (const std::string& name : names) {
      auto file = files.find(name);
      if (file != files.end()) found[name] = {"/vf/" + name + ".vf", file->second};
    }
  }
};

// Every font sets characters A and B (or those given).
DviFontList Document(std::vector<Def> defs, std::uint32_t mag = 1000,
                     std::vector<std::uint32_t> characters = {'A', 'B'}) {
  DviFontList list;
  list.magnification = mag;
  for (const Def& def : defs)
    list.fonts.push_back({def.number, 0, def.scaled, def.design, "", def.name, characters});
  return list;
}

std::vector<std::string> Names(const DocumentFonts& fonts) {
  std::vector<std::string> names;
  for (const NeededFont& font : fonts.fonts) {
    names.push_back(font.name + "." + std::to_string(font.resolution));
  }
  return names;
}

constexpr std::uint32_t kFix = 1u << 20;  // fix_word 1.0
constexpr std::uint32_t kTenPtFix = 10u << 20;

TEST(ExpandDocumentFonts, RealFontsOnceEach) {
  TableLookup lookup;
  DocumentFonts out;
  std::string error;
  ASSERT_TRUE(ExpandDocumentFonts({Document({{0, "cmr10"}, {1, "cmr10", 786432}}, 1095),
                                   Document({{3, "cmr10", 600000, 500000}, {0, "logo10"}})},
                                  600, lookup, out, error));
  // cmr10 1.095 -> 657, x1.2 -> 789; 1.2 x 1.0 -> 720; logo10 at 600.
  EXPECT_EQ(Names(out), (std::vector<std::string>{"cmr10.657", "cmr10.789", "cmr10.720", "logo10.600"}));
  EXPECT_TRUE(out.reports.empty());
  ASSERT_EQ(lookup.calls.size(), 1u);
  EXPECT_EQ(lookup.calls[0], (std::vector<std::string>{"cmr10", "logo10"}));
}

TEST(ExpandDocumentFonts, VirtualFontToBaseFonts) {
  TableLookup lookup;
  // vtest at its own size: cmr10 at 1.2 and cmbx10 at 0.8 of it.
  lookup.files["vtest"] = Vf({{0, "cmr10", kFix * 6 / 5, kTenPtFix}, {1, "cmbx10", kFix * 4 / 5, kTenPtFix}});
  DocumentFonts out;
  std::string error;
  ASSERT_TRUE(ExpandDocumentFonts({Document({{0, "vtest"}, {1, "vtest", 1310720}, {2, "cmr10"}})}, 600,
                                  lookup, out, error)) << error;
  EXPECT_EQ(Names(out), (std::vector<std::string>{"cmr10.600", "cmr10.720", "cmbx10.480",
                                                  "cmr10.1440", "cmbx10.960"}));
  ASSERT_EQ(lookup.calls.size(), 2u);  // one per level
  EXPECT_EQ(lookup.calls[1], (std::vector<std::string>{"cmbx10"}));
}

TEST(ExpandDocumentFonts, SelfNamingAndCycleReported) {
  TableLookup lookup;
  lookup.files["self"] = Vf({{0, "self"}, {1, "cmr10", kFix, kTenPtFix}});
  lookup.files["ping"] = Vf({{0, "pong", kFix, kTenPtFix}});
  lookup.files["pong"] = Vf({{0, "ping", kFix, kTenPtFix}, {1, "logo10", kFix, kTenPtFix}});
  DocumentFonts out;
  std::string error;
  ASSERT_TRUE(ExpandDocumentFonts({Document({{0, "self"}, {1, "ping"}})}, 600, lookup, out, error));
  EXPECT_EQ(Names(out), (std::vector<std::string>{"cmr10.600", "logo10.600"}));
  EXPECT_EQ(out.reports, (std::vector<std::string>{
                             "virtual font /vf/self.vf names itself, not followed",
                             "virtual font /vf/pong.vf (through ping) names ping, which leads back to it, not followed"}));
}

TEST(ExpandDocumentFonts, DepthLimit) {
  TableLookup lookup;
  // v0 -> v1 -> ... -> v9 -> cmr10: the VF of the font at depth 8 is not followed.
  for (int i = 0; i < 10; ++i) {
    std::string next = i == 9 ? "cmr10" : "v" + std::to_string(i + 1);
    lookup.files["v" + std::to_string(i)] = Vf({{0, next, kFix, kTenPtFix}});
  }
  DocumentFonts out;
  std::string error;
  ASSERT_TRUE(ExpandDocumentFonts({Document({{0, "v0"}, {1, "v2", 1310720}})}, 600, lookup, out, error));
  // v2 in the document (at another size, or it would be the same font) is
  // two levels higher: its chain reaches cmr10 within the limit.
  EXPECT_EQ(Names(out), (std::vector<std::string>{"cmr10.1200"}));
  ASSERT_EQ(out.reports.size(), 1u);
  EXPECT_EQ(out.reports[0], "virtual font /vf/v8.vf (through v0 v1 v2 v3 v4 v5 v6 v7): nested deeper than "
                            "8 virtual fonts, not followed");
}

TEST(ExpandDocumentFonts, StepLimit) {
  // 320 fonts at 320 sizes, each of them this VF again, whose one character
  // sets A in every font: 102720 definitions to follow by the second
  // level. Each name is asked for once.
  std::vector<Def> defs;
  for (std::uint32_t i = 0; i < 320; ++i) defs.push_back({i, "f" + std::to_string(i), kFix + 7 * i, kTenPtFix, 2});
  Bytes vf = Vf(defs, 0);
  while (vf.back() == 248) vf.pop_back();
  vf.push_back(242);
  Put(vf, 320 * 6, 4);
  Put(vf, 'A', 4);
  Put(vf, 0x80000, 4);
  for (const Def& def : defs) {
    vf.push_back(238);
    Put(vf, def.number, 4);
    vf.push_back('A');
  }
  do vf.push_back(248);
  while (vf.size() % 4 != 0);
  TableLookup lookup;
  lookup.files["v"] = vf;
  for (const Def& def : defs) lookup.files[def.name] = vf;
  DocumentFonts out;
  std::string error;
  ASSERT_TRUE(ExpandDocumentFonts({Document({{0, "v"}}, 1000, {'A'})}, 600, lookup, out, error)) << error;
  EXPECT_TRUE(out.fonts.empty());
  EXPECT_EQ(out.reports.back(), "more than 100000 font definitions of virtual fonts; the rest not followed");
  EXPECT_EQ(lookup.calls.size(), 2u);
}

TEST(ExpandDocumentFonts, UnreadableVfAndBadSizes) {
  TableLookup lookup;
  lookup.files["broken"] = Bytes{247, 202, 0};
  DocumentFonts out;
  std::string error;
  EXPECT_FALSE(ExpandDocumentFonts({Document({{0, "broken"}})}, 600, lookup, out, error));
  EXPECT_EQ(error, "/vf/broken.vf: truncated preamble");
  lookup.files["neg"] = Vf({{0, "cmr10", 0xFFF00000u, kTenPtFix}});
  ASSERT_TRUE(ExpandDocumentFonts({Document({{0, "neg"}, {1, "logo10", 0, 655360}, {2, "cmr10", 1, 655360}})},
                                  600, lookup, out, error));
  EXPECT_TRUE(out.fonts.empty());
  EXPECT_EQ(out.reports, (std::vector<std::string>{"font logo10: size out of range, not built",
                                                   "font cmr10 (through neg): size out of range, not built",
                                                   "font cmr10: size out of range, not built"}));
}

TEST(ReadDviFonts, CharactersThePagesSet) {
  // fnt_def on the page, set_char, set1, put2, fnt1, a rule, a special,
  // a font defined and never used.
  const Bytes page = {243, 1, 0x12, 0x34, 0x56, 0x78, 0, 10, 0, 0, 0, 10, 0, 0, 0, 4, 'l', 'o', 'g', 'o',
                      172, 'M', 'E', 128, 200, 134, 0x01, 0x02, 141, 132, 0, 0, 0, 1, 0, 0, 0, 1, 142,
                      239, 2, 'h', 'i', 172, 'M'};
  DviFontList fonts = ReadDvi(Dvi({{1, "logo", 655360, 655360}, {2, "unused"}}, 1000, 2, page));
  ASSERT_EQ(fonts.fonts.size(), 2u);
  EXPECT_EQ(fonts.fonts[0].characters, (std::vector<std::uint32_t>{'E', 'M', 200, 0x102}));
  EXPECT_TRUE(fonts.fonts[1].characters.empty());

  // Japanese TeX: dir[1] and two-byte codes, with identification 3 only.
  const Bytes japanese = {172, 255, 1, 129, 0x30, 0x42, 255, 0};
  DviFontList ptex = ReadDvi(Dvi({{1, "min10"}}, 1000, 3, japanese));
  ASSERT_EQ(ptex.fonts.size(), 1u);  // a failed read must not crash the suite
  EXPECT_EQ(ptex.fonts[0].characters, (std::vector<std::uint32_t>{0x3042}));
  EXPECT_EQ(DviError(Dvi({{1, "min10"}}, 1000, 2, japanese)), "garbled page");

  EXPECT_EQ(DviError(Dvi({{1, "a"}}, 1000, 2, {'A'})), "character set before any font");
  EXPECT_EQ(DviError(Dvi({{1, "a"}}, 1000, 2, {173, 'A'})), "font 2 used but not defined");
  EXPECT_EQ(DviError(Dvi({{1, "a"}}, 1000, 2, {239, 200, 'x'})), "truncated page");
  EXPECT_EQ(DviError(Dvi({{1, "a"}}, 1000, 2, {250})), "garbled page");
}

TEST(ReadVfFonts, WhatEachPacketSets) {
  Bytes vf = Vf({{4, "cmr10"}, {9, "cmbx10"}}, 3);
  VfFontList fonts;
  std::string error;
  ASSERT_TRUE(ReadVfFonts(vf.data(), vf.size(), fonts, error)) << error;
  ASSERT_EQ(fonts.packets.size(), 3u);
  EXPECT_EQ(fonts.packets['B'].size(), 1u);
  EXPECT_EQ(fonts.packets['B'][0].font, 1u);  // cmbx10, by its place
  EXPECT_EQ(fonts.packets['C'][0].font, 0u);
  EXPECT_EQ(fonts.packets['C'][0].character, 'C');
  // No fnt command: the first font the VF defines.
  Bytes plain = {247, 202, 0, 0, 0, 0, 0, 0, 16, 0, 0};
  PutDef(plain, {7, "cmr10"});
  for (unsigned char b : Bytes{2, 'Z', 0, 8, 0, 128, 'z'}) plain.push_back(b);  // set1 z
  while (plain.size() % 4) plain.push_back(248);
  plain.push_back(248);
  ASSERT_TRUE(ReadVfFonts(plain.data(), plain.size(), fonts, error)) << error;
  EXPECT_EQ(fonts.packets['Z'][0].character, 'z');
  Bytes undefined = Vf({{4, "cmr10"}}, 1);
  const Bytes select = {238, 0, 0, 0, 4};
  auto at = std::search(undefined.begin(), undefined.end(), select.begin(), select.end());
  ASSERT_NE(at, undefined.end());
  at[4] = 5;  // fnt4 5
  EXPECT_EQ(VfError(undefined), "character packet selects undefined font 5");
}

class MapLookup : public TableLookup {
 public:
  std::set<std::string> outline;
  void FindOutlineFonts(const std::vector<std::string>& names, std::set<std::string>& found) override {
    for (const std::string& name : names)
      if (outline.count(name)) found.insert(name);
  }
};

TEST(ExpandDocumentFonts, OnlyWhatTheUsedCharactersReach) {
  MapLookup lookup;
  // A sets from cmr10, B from cmbx10, C from the outline font ptmr8r.
  lookup.files["vtest"] = Vf({{0, "cmr10", kFix, kTenPtFix}, {1, "cmbx10", kFix, kTenPtFix},
                              {2, "ptmr8r", kFix, kTenPtFix}}, 3);
  lookup.outline = {"ptmr8r", "cmmi10"};
  DocumentFonts out;
  std::string error;
  // vtest at 10pt: A only; vtest at 12pt: C only; cmmi10 from its outline;
  // logo10 defined and never used.
  DviFontList document = Document({{0, "vtest"}, {1, "cmmi10"}}, 1000, {'A'});
  DviFontList bigger = Document({{0, "vtest", 786432}}, 1000, {'C'});
  DviFontList unused = Document({{0, "logo10"}}, 1000, {});
  ASSERT_TRUE(ExpandDocumentFonts({document, bigger, unused}, 600, lookup, out, error)) << error;
  EXPECT_EQ(Names(out), (std::vector<std::string>{"cmr10.600"}));
  EXPECT_EQ(out.outline, (std::vector<std::string>{"cmmi10", "ptmr8r"}));
  // The outline font is not asked for as a VF.
  for (const auto& call : lookup.calls)
    for (const std::string& name : call) EXPECT_NE(name, "cmmi10");

  // The same VF at the same size met again with another character goes
  // round again for it alone.
  lookup.files["outer"] = Vf({{0, "vtest", kFix, kTenPtFix}}, 2);  // A, B of vtest
  ASSERT_TRUE(ExpandDocumentFonts({Document({{0, "vtest"}}, 1000, {'A'}),
                                   Document({{0, "outer"}}, 1000, {'B'})},
                                  600, lookup, out, error));
  EXPECT_EQ(Names(out), (std::vector<std::string>{"cmr10.600", "cmbx10.600"}));
}

}  // namespace
