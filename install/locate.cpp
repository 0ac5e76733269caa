#include "install/locate.h"

#include "run/filesys.h"

namespace {
constexpr unsigned kErrorFlags = BOX_SETFOREGROUND | BOX_ICONERROR;
}

int ReadDefinitionFilePath(KeyStore& keys, std::string& path) {
  KeyStatus status = keys.ReadDataFilePath(path);
  if (status == KeyStatus::KeyMissing) {
    ShowBox(nullptr, TR("レジストリのオープンに失敗しました"), kProductTitle, kErrorFlags);
    return 0;
  }
  if (status != KeyStatus::Ok) {
    ShowBox(nullptr, TR("レジストリの値の取得に失敗しました"), kProductTitle, kErrorFlags);
    return 0;
  }
  if (PathExists(path)) return 1;
  MessageBoxPrintf(nullptr, kProductTitle, kErrorFlags,
                   TR("レジストリから得られたファイル(%s)が実在しません"), path.c_str());
  return 0;
}

int LocateDefinitionFile(KeyStore& keys, InstallPrompt& prompt, std::string& path) {
  if (ReadDefinitionFilePath(keys, path)) return 1;
  // Offered once per start, never in a loop.
  int answer = ShowBox(nullptr,
                       TR("レジストリのオープン又は定義ファイルの\nオープンに失敗しました。"
                       "レジストリが破\n壊されているか, 定義ファイルが見つから\n"
                       "ないか又は, 初めての起動だと推測されま\nす。\n"
                       "インストール作業を行いますか。"),
                       kProductTitle, kErrorFlags | BOX_OKCANCEL);
  if (answer == ANSWER_CANCEL) return 0;
  if (!prompt.RunInstallDialog()) return 0;
  if (ReadDefinitionFilePath(keys, path)) return 1;
  ShowBox(nullptr, TR("レジストリのオープン又は定義ファイルのオープンに\n失敗しました。"),
          kProductTitle, kErrorFlags);
  return 0;
}

InstallResult InstallDefinitionPath(KeyStore& keys, const std::string& typed,
                                    BoxOwner dialog) {
  if (!PathExists(typed)) {
    ShowBox(dialog, TR("指定されたファイルは存在しません"), kProductTitle, kErrorFlags);
    return InstallResult::NoSuchFile;
  }
  KeyStatus status = keys.WriteDataFilePath(typed);
  if (status == KeyStatus::Ok) return InstallResult::Written;
  if (status == KeyStatus::CreateFailed)
    ShowBox(nullptr, TR("レジストリのキーの作成に失敗しました。"), kProductTitle, kErrorFlags);
  else
    ShowBox(nullptr, TR("レジストリの値の作成に失敗しました。"), kProductTitle, kErrorFlags);
  return InstallResult::Failed;
}

int Uninstall(KeyStore& keys, BoxOwner owner) {
  int answer = ShowBox(owner,
                       TR("これを実行すると, レジストリから「Fontkiln」に関する情報を全て"
                       "削除しますが. 宜しいですか(通常は UNINSTALL する時に使用します)"),
                       kProductTitle, BOX_SETFOREGROUND | BOX_ICONQUESTION | BOX_OKCANCEL);
  if (answer != ANSWER_OK) return 0;
  if (keys.DeleteProgramKey() != KeyStatus::Ok) {
    ShowBox(owner, TR("レジストリの削除に失敗しました"), kProductTitle, kErrorFlags);
    return 0;
  }
  ShowBox(owner, TR("「Fontkiln」に関するレジストリは全て削除しました"), kProductTitle,
          BOX_SETFOREGROUND | BOX_ICONINFORMATION);
  return 1;
}
