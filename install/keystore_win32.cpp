#include "install/keystore_win32.h"

#include <windows.h>

#include <cstring>
#include <utility>

const char* const kProgramKeyPath = "Software\\Fontkiln\\kiln";
const char* const kDataFilePathValue = "DataFilePath";

RegistryKeyStore::RegistryKeyStore(std::string keyPath)
    : keyPath_(std::move(keyPath)) {}

KeyStatus RegistryKeyStore::ReadDataFilePath(std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath_.c_str(), 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return KeyStatus::KeyMissing;
  char buffer[kRegistryPathBytes] = {};
  DWORD size = sizeof buffer;
  DWORD type = 0;
  LONG result = RegQueryValueExA(key, kDataFilePathValue, nullptr, &type,
                                 reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return KeyStatus::ValueMissing;
  // A value stored without its NUL that fills the whole buffer is one byte
  // too long to be a path of at most 259 characters.
  std::size_t length = strnlen(buffer, size);
  if (length >= kRegistryPathBytes) return KeyStatus::ValueMissing;
  path.assign(buffer, length);
  return KeyStatus::Ok;
}

KeyStatus RegistryKeyStore::WriteDataFilePath(const std::string& path) {
  HKEY key = nullptr;
  if (RegCreateKeyA(HKEY_CURRENT_USER, keyPath_.c_str(), &key) != ERROR_SUCCESS)
    return KeyStatus::CreateFailed;
  LONG result = RegSetValueExA(
      key, kDataFilePathValue, 0, REG_SZ,
      reinterpret_cast<const BYTE*>(path.c_str()),
      static_cast<DWORD>(path.size() + 1));
  RegCloseKey(key);
  return result == ERROR_SUCCESS ? KeyStatus::Ok : KeyStatus::WriteFailed;
}

KeyStatus RegistryKeyStore::DeleteProgramKey() {
  // Only the last segment goes; "Software" and the vendor key stay.
  return RegDeleteKeyA(HKEY_CURRENT_USER, keyPath_.c_str()) == ERROR_SUCCESS
             ? KeyStatus::Ok
             : KeyStatus::DeleteFailed;
}
