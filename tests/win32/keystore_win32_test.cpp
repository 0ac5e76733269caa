// The registry key store under Wine (or Windows), on a scratch key of its
// own below the vendor key so that a real installation is never touched.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "install/keystore_win32.h"

namespace {

class RegistryKeyStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    parent_ = "Software\\Fontkiln\\test-" + std::to_string(GetCurrentProcessId());
    path_ = parent_ + "\\kiln";
    RegDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
  }
  void TearDown() override {
    RegDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, parent_.c_str());
  }
  // Writes the value with RegSetValueExA directly, with exactly the bytes given.
  void WriteRaw(const std::string& bytes) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, path_.c_str(), &key), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "DataFilePath", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  bool KeyExists(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
      return false;
    RegCloseKey(key);
    return true;
  }
  std::string parent_, path_;
};

TEST(RegistryKeyStore, ProgramKeyIsBelowTheVendorKey) {
  EXPECT_STREQ(kProgramKeyPath, "Software\\Fontkiln\\kiln");
  EXPECT_EQ(RegistryKeyStore().KeyPath(), "Software\\Fontkiln\\kiln");
}

TEST_F(RegistryKeyStoreTest, MissingKeyIsReportedAsSuch) {
  RegistryKeyStore keys(path_);
  std::string path = "unchanged";
  EXPECT_EQ(keys.ReadDataFilePath(path), KeyStatus::KeyMissing);
}

TEST_F(RegistryKeyStoreTest, KeyWithoutValueIsValueMissing) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, path_.c_str(), &key), ERROR_SUCCESS);
  RegCloseKey(key);
  RegistryKeyStore keys(path_);
  std::string path;
  EXPECT_EQ(keys.ReadDataFilePath(path), KeyStatus::ValueMissing);
}

TEST_F(RegistryKeyStoreTest, WrittenPathReadsBackWithItsNul) {
  RegistryKeyStore keys(path_);
  const std::string written = "C:\\TeX\\フォント\\FONTS.DAT";
  ASSERT_EQ(keys.WriteDataFilePath(written), KeyStatus::Ok);
  std::string path;
  ASSERT_EQ(keys.ReadDataFilePath(path), KeyStatus::Ok);
  EXPECT_EQ(path, written);

  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD type = 0, size = 0;
  ASSERT_EQ(RegQueryValueExA(key, "DataFilePath", nullptr, &type, nullptr, &size),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, written.size() + 1);
}

// The read buffer is 260 bytes: 259 characters and the NUL fit, 260 do not.
TEST_F(RegistryKeyStoreTest, ReadLimitIs259Characters) {
  struct Case {
    std::size_t length;
    bool withNul;
    KeyStatus expected;
  } cases[] = {
      {259, true, KeyStatus::Ok},
      {259, false, KeyStatus::Ok},
      {260, true, KeyStatus::ValueMissing},
      {260, false, KeyStatus::ValueMissing},
      {1000, true, KeyStatus::ValueMissing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.length) + (c.withNul ? " with NUL" : " without NUL"));
    std::string bytes(c.length, 'a');
    if (c.withNul) bytes.push_back('\0');
    WriteRaw(bytes);
    RegistryKeyStore keys(path_);
    std::string path;
    EXPECT_EQ(keys.ReadDataFilePath(path), c.expected);
    if (c.expected == KeyStatus::Ok) {
      EXPECT_EQ(path, std::string(c.length, 'a'));
    }
  }
}

TEST_F(RegistryKeyStoreTest, DeleteRemovesOnlyTheLastSegment) {
  RegistryKeyStore keys(path_);
  ASSERT_EQ(keys.WriteDataFilePath("x"), KeyStatus::Ok);
  EXPECT_EQ(keys.DeleteProgramKey(), KeyStatus::Ok);
  EXPECT_FALSE(KeyExists(path_));
  EXPECT_TRUE(KeyExists(parent_));
  std::string path;
  EXPECT_EQ(keys.ReadDataFilePath(path), KeyStatus::KeyMissing);
}

TEST_F(RegistryKeyStoreTest, DeletingAMissingKeyFails) {
  RegistryKeyStore keys(path_);
  EXPECT_EQ(keys.DeleteProgramKey(), KeyStatus::DeleteFailed);
}

}  // namespace
