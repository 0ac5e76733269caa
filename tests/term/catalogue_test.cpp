#include "ui/term/catalogue.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ui/text.h"

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

void PutWord(std::string& out, std::size_t at, std::uint32_t value, bool bigEndian) {
  for (int i = 0; i < 4; ++i) {
    int shift = bigEndian ? 24 - 8 * i : 8 * i;
    out[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> shift) & 0xFF);
  }
}

// A catalogue laid out as msgfmt lays it out: header, the two tables, then
// the strings, each followed by its NUL.
std::string MakeMo(const Entries& entries, bool bigEndian = false) {
  const std::size_t count = entries.size();
  std::string out(28 + 16 * count, '\0');
  PutWord(out, 0, 0x950412de, bigEndian);
  PutWord(out, 8, static_cast<std::uint32_t>(count), bigEndian);
  PutWord(out, 12, 28, bigEndian);
  PutWord(out, 16, static_cast<std::uint32_t>(28 + 8 * count), bigEndian);
  for (int table = 0; table < 2; ++table) {
    for (std::size_t i = 0; i < count; ++i) {
      const std::string& text = table == 0 ? entries[i].first : entries[i].second;
      std::size_t entry = 28 + 8 * (table * count + i);
      PutWord(out, entry, static_cast<std::uint32_t>(text.size()), bigEndian);
      PutWord(out, entry + 4, static_cast<std::uint32_t>(out.size()), bigEndian);
      out += text;
      out += '\0';
    }
  }
  return out;
}

}  // namespace

TEST(MessageLanguage, FirstSetVariableDecides) {
  EXPECT_EQ("ja", MessageLanguage(nullptr, nullptr, "ja_JP.UTF-8"));
  EXPECT_EQ("ja", MessageLanguage("", "ja_JP.eucJP", "C"));  // empty counts as unset
  EXPECT_EQ("en", MessageLanguage("C", "ja_JP.UTF-8", "ja_JP.UTF-8"));
  EXPECT_EQ("en", MessageLanguage(nullptr, "POSIX", "ja_JP.UTF-8"));
  EXPECT_EQ("en", MessageLanguage(nullptr, nullptr, "C.UTF-8"));
  EXPECT_EQ("de", MessageLanguage(nullptr, nullptr, "de_DE.UTF-8"));
  EXPECT_EQ("ja", MessageLanguage(nullptr, nullptr, "ja"));
  // Any value that begins with "ja", however the rest is written.
  EXPECT_EQ("ja", MessageLanguage(nullptr, nullptr, "japanese"));
  EXPECT_EQ("ja", MessageLanguage(nullptr, nullptr, "ja-JP"));
  EXPECT_EQ("ja", MessageLanguage(nullptr, "japanese.euc", "C"));
  EXPECT_EQ("en", MessageLanguage(nullptr, nullptr, "/etc/evil"));
  EXPECT_EQ("en", MessageLanguage(nullptr, nullptr, nullptr));
}

TEST(Catalogue, ReadsBothByteOrdersAndSkipsTheHeaderAndEmptyTranslations) {
  const Entries entries = {{"", "Content-Type: text/plain; charset=UTF-8\n"},
                           {"一時停止", "Paused"},
                           {"untranslated", ""},
                           {"%s\nline", "%s\nzeile"}};
  for (bool bigEndian : {false, true}) {
    Catalogue catalogue;
    ASSERT_TRUE(catalogue.Parse(MakeMo(entries, bigEndian))) << bigEndian;
    EXPECT_EQ(2u, catalogue.size());
    EXPECT_STREQ("Paused", catalogue.Find("一時停止"));
    EXPECT_STREQ("%s\nzeile", catalogue.Find("%s\nline"));
    EXPECT_EQ(nullptr, catalogue.Find("untranslated"));
    EXPECT_EQ(nullptr, catalogue.Find(""));
  }
}

TEST(Catalogue, RefusesDamagedFilesWithoutReadingPastThem) {
  const std::string good = MakeMo({{"a", "b"}, {"cc", "dd"}});
  std::vector<std::string> bad = {"", good.substr(0, 19), good.substr(0, good.size() - 1)};
  std::string magic = good;
  magic[0] = 0;
  bad.push_back(magic);
  std::string revision = good;
  PutWord(revision, 4, 0x20000, false);
  bad.push_back(revision);
  std::string count = good;
  PutWord(count, 8, 0x40000000, false);  // tables far past the end
  bad.push_back(count);
  std::string offset = good;
  PutWord(offset, 28 + 4, 0xFFFFFFF0, false);  // a string past the end
  bad.push_back(offset);
  std::string nul = good;
  nul[nul.size() - 1] = 'x';  // the last string loses its NUL
  bad.push_back(nul);
  for (std::size_t i = 0; i < bad.size(); ++i) {
    Catalogue catalogue;
    catalogue.Parse(good);
    EXPECT_FALSE(catalogue.Parse(bad[i])) << i;
    EXPECT_EQ(0u, catalogue.size()) << i;
  }
}

// The catalogues the build made from po/: both head a summary with the
// product's name only (the Windows title is kiln.exe's); the Japanese one
// translates a text written in English. The English one is the one built
// into kiln.
TEST(Catalogue, BuiltCataloguesTranslateBothWays) {
  Catalogue en, ja, builtIn;
  ASSERT_TRUE(en.Load(KILN_BUILT_LOCALE_DIR "/en/LC_MESSAGES/kiln.mo"));
  ASSERT_TRUE(ja.Load(KILN_BUILT_LOCALE_DIR "/ja/LC_MESSAGES/kiln.mo"));
  ASSERT_TRUE(builtIn.Parse(std::string(reinterpret_cast<const char*>(kEnglishCatalogue),
                                        kEnglishCatalogueSize)));
  EXPECT_EQ(en.size(), builtIn.size());
  EXPECT_STREQ("Fontkiln", en.Find("Fontkiln for WIN32 "));
  EXPECT_STREQ("Fontkiln", builtIn.Find("Fontkiln for WIN32 "));
  EXPECT_STREQ("Fontkiln", ja.Find("Fontkiln for WIN32 "));
  EXPECT_NE(nullptr, ja.Find("kiln: the definition file %s does not exist\n"));
  EXPECT_FALSE(en.Load(KILN_BUILT_LOCALE_DIR "/xx/LC_MESSAGES/kiln.mo"));
}

TEST(TranslateText, UsesTheLookupAndFallsBackToTheSourceText) {
  EXPECT_STREQ("確認", TR("確認"));
  SetTextLookup([](const char* id) -> const char* {
    return std::string(id) == "確認" ? "Confirm" : nullptr;
  });
  EXPECT_STREQ("Confirm", TR("確認"));
  EXPECT_STREQ("other", TR("other"));
  SetTextLookup(nullptr);
  EXPECT_STREQ("確認", TR("確認"));
}
