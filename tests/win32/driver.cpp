// kiln_driver.exe: starts kiln.exe under Wine, finds its dialogs and message
// boxes, reads and presses their controls and checks what the program
// promises. METAFONT and gftopk are the stand-ins mf.exe and gftopk.exe.
//
//   kiln_driver --kiln PATH --standins DIR --scratch DIR [--shots DIR] [--only a,b]
//               [--case-dir DIR] [--budget SECONDS] [--tex DIR --reference DIR] [--list]
//   kiln_driver --export-reference DIR
//
// The cases named real_* run the genuine Windows METAFONT, gftopk and
// kpsewhich of scripts/windows-tex.sh (--tex: the folder holding bin\ and
// web2c\) and compare each PK file with the one the terminal program built
// for the same job (--reference), from the jobs --export-reference writes.
//
// Prints one line per case and "N passed, M failed"; exits 1 on any failure.
// Every wait has a timeout; once the budget (default 420 s) is spent, the
// remaining cases count as failed without running, so a program that hangs
// cannot stretch the run beyond CI's limits.
#include "driver_support.h"

#include "tex/texlookup_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace driver;
using probe::Kind;

namespace {

// The program's texts (CP932 here as there).
const std::string kTitle = "Fontkiln for WIN32 ";
const std::string kVersionTitle = "Fontkiln for WIN32 Version 3.10";
const std::string kRegistryOpenFailed = "レジストリのオープンに失敗しました";
const std::string kInstallQuestion =
    "レジストリのオープン又は定義ファイルの\nオープンに失敗しました。レジストリが破\n"
    "壊されているか, 定義ファイルが見つから\nないか又は, 初めての起動だと推測されま\nす。\n"
    "インストール作業を行いますか。";
const std::string kNoSuchFile = "指定されたファイルは存在しません";
const std::string kUninstallQuestion =
    "これを実行すると, レジストリから「Fontkiln」に関する情報を全て削除しますが. "
    "宜しいですか(通常は UNINSTALL する時に使用します)";
const std::string kUninstalled = "「Fontkiln」に関するレジストリは全て削除しました";
const std::string kConfirmTitle = "確認";
const std::string kStopQuestion =
    "終了しても宜しいですか。\n【注意】\n  OKを選択しても直ぐには停止出来ませ\n"
    "  ん(ダイアログは直ぐに消えますが)。\n  若干のタイムラグがありますがストー\n"
    "  ルではありませんので, 辛抱強くお待\n  ち下さい(^_^;";
const std::string kStopNotice = "Thread からの停止要求を受信しました";
const std::string kContinueQuestion =
    "フォントの生成に失敗しました。処理を継続する場合はOKを, 処理を停止する場合にはキャンセルを押して下さい。";
const std::string kEmpty = "空っぽです";
const std::string kPriorityQuestion =
    "METAFONTのプライオリティが普通以外に設定されています。普通以外のプライオリティで実行すると, "
    "場合によっては, 他のアプリケーションを使用している時にマウスやキーボードの反応が悪くなったり, "
    "逆に METAFONT の反応が悪くなる事がありますが, 宜しいですか。";

// Three sets whose sorted order (case ignored: cm, Demo, logo) differs both
// from the file's order and from a case-sensitive sort.
const std::string kSets =
    "logo:\r\nlogo10 m0.5 *2\r\ncm:\r\ncmr 5 10 10m1\r\nDemo:\r\ncmbx 10\r\n";

std::string Num(int n) { return std::to_string(n); }

std::string MfLine(const std::string& mode, const std::string& mag, const std::string& font) {
  return "mf \\mode=" + mode + "; nonstopmode; mag=" + mag + "; input " + font;
}

std::string NoGfMessage(const std::string& command, const std::string& font, int res) {
  return command + "\nコマンドで作成した\n    " + font + "." + Num(res - 1) + "gf or\n    " + font + "." +
         Num(res) + "gf or\n    " + font + "." + Num(res + 1) +
         "gf が\n見つかりませんでした。フォントの生成に失敗した\nと思われます。";
}

std::string NoPkMessage(const std::string& font, int res) {
  std::string gf = font + "." + Num(res) + "gf", pk = font + "." + Num(res) + "pk";
  return "gftopk " + gf + " " + pk + "\nコマンドで作成した\n" + pk +
         " が\n見つかりませんでした。フォントの変換に失敗した\nと思われます。";
}

std::string Summary(const std::string& fonts, const std::string& dir, const std::string& average = "#") {
  return "指定されたフォントの生成を完了しました\n    開始時刻: #:#:#\n    終了時刻: #:#:#\n"
         "フォント作成に要した総時間は #時間 #分 #秒でした\nトータル生成フォント数は " +
         fonts + " なので,\nフォント一個当たりの平均生成時間は " + average + " 秒でした\n    " + dir +
         "\nディレクトリの下に tfm と log というディレクトリを作成\nしました。それぞれ METAFONT "
         "が出力したファイルが格納さ\nれていますが, 必要無ければ削除して下さい。";
}

// The directory list writes the current directory in lower case into the
// edit control, and Run takes that text as the target directory.
std::string Shown(std::string path) {
  for (char& ch : path)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return path;
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

// The files of the target directory and of its tfm and log subdirectories
// after a run: a built font leaves its PK file there and its TFM and log
// files filed below.
void CheckFiled(Case& c, const std::vector<std::string>& pk, const std::vector<std::string>& fonts) {
  CHECK_LIST(c, Sorted(pk), ListFiles(c.target));
  std::vector<std::string> tfm, log;
  for (const std::string& font : fonts) {
    tfm.push_back(font + ".tfm");
    log.push_back(font + ".log");
  }
  CHECK_LIST(c, Sorted(tfm), ListFiles(c.target + "\\tfm"));
  CHECK_LIST(c, Sorted(log), ListFiles(c.target + "\\log"));
}

std::vector<std::string> StartedFonts(Case& c) {
  std::vector<std::string> fonts;
  for (const std::string& line : RecordLines(c, "mf start ")) {
    std::string rest = line.substr(9);
    fonts.push_back(rest.substr(0, rest.find(' ')));
  }
  return fonts;
}

void CheckRanInTarget(Case& c) {
  for (const std::string& dir : RecordDirectories(c)) {
    if (lstrcmpiA(dir.c_str(), c.target.c_str()) != 0) {
      CHECK_TEXT(c, c.target, dir);
      return;
    }
  }
}

// --- first start

void FirstStartCancel(Case& c) {
  Prepare(c, "", kSets);
  DeleteProgramKey();
  Start(c, "");
  ExpectBox(c, kTitle, kRegistryOpenFailed, IDOK);
  ExpectBox(c, kTitle, kInstallQuestion, IDCANCEL);
  ExpectExit(c);
  CHECK(c, !KeyExists(kProgramKey));
}

void FirstStartInstall(Case& c) {
  Prepare(c, "", kSets);
  DeleteProgramKey();
  Start(c, "");
  ExpectBox(c, kTitle, kRegistryOpenFailed, IDOK, "registry_open_failed");
  ExpectBox(c, kTitle, kInstallQuestion, IDOK, "install_question");
  HWND install = WaitFor(c, Kind::Install);
  CHECK_TEXT(c, kVersionTitle, probe::Title(install));
  CHECK_TEXT(c, "レジストリへ書き込む(&W)", probe::ItemText(install, 1));
  CHECK_TEXT(c, "", probe::ItemText(install, 1016));

  // Cancelling the browse dialog leaves its placeholder in the edit.
  probe::Press(install, 3);
  HWND browse = WaitFor(c, Kind::Other);
  PostMessageA(browse, WM_COMMAND, IDCANCEL, 0);
  CHECK(c, WaitGone(browse));
  CHECK(c, WaitUntil([&] { return probe::ItemText(install, 1016) == "(^_^)"; }, 3000));
  CHECK_TEXT(c, "(^_^)", probe::ItemText(install, 1016));

  // A path that does not exist keeps the dialog open and writes nothing.
  std::string missing = c.dir + "\\NOSUCH.DAT";
  REQUIRE(c, probe::SetItemText(install, 1016, missing));
  probe::Press(install, 1);
  ExpectBox(c, kTitle, kNoSuchFile, IDOK);
  CHECK(c, IsWindowVisible(install));
  CHECK(c, !KeyExists(kProgramKey));

  REQUIRE(c, probe::SetItemText(install, 1016, c.definition));
  Shot(c, "install", {install});
  probe::Press(install, 1);
  HWND settings = WaitFor(c, Kind::Settings);
  std::string written;
  CHECK(c, ReadDataFilePath(&written));
  CHECK_TEXT(c, c.definition, written);
  probe::Press(settings, 2);
  ExpectExit(c);
}

// --- settings dialog

void SettingsInitialState(Case& c) {
  Prepare(c, "ERROR_REACTION I\r\n", kSets);
  CreateDirectoryA((c.target + "\\sub").c_str(), nullptr);
  Start(c, "");
  HWND s = WaitFor(c, Kind::Settings);
  CHECK_TEXT(c, kVersionTitle, probe::Title(s));
  CHECK_LIST(c, (std::vector<std::string>{"118dpi bitgraph", "300dpi cx", "400dpi nexthi"}),
             probe::ComboItems(GetDlgItem(s, 1000)));
  CHECK_TEXT(c, "118dpi bitgraph", probe::ItemText(s, 1000));
  // Every set selected, in the list's own case-blind order.
  CHECK_LIST(c, (std::vector<std::string>{"cm", "Demo", "logo"}), probe::ListItems(GetDlgItem(s, 1008)));
  CHECK_INT(c, 0, probe::QueryItem(s, 1008, LB_GETCURSEL));
  CHECK_INT(c, 0, probe::QueryItem(s, 1011, CB_GETCOUNT));
  CHECK_TEXT(c, kEmpty, probe::ItemText(s, 1011));
  CHECK(c, !probe::Enabled(s, 3));
  CHECK(c, probe::Enabled(s, 4));
  CHECK_INT(c, 0, probe::QueryItem(s, 1022, TBM_GETRANGEMIN));
  CHECK_INT(c, 3, probe::QueryItem(s, 1022, TBM_GETRANGEMAX));
  CHECK_INT(c, 2, probe::QueryItem(s, 1022, TBM_GETPOS));
  CHECK(c, !probe::Checked(s, 1025));
  CHECK(c, !probe::Checked(s, 1026));
  CHECK(c, probe::Checked(s, 1027));
  CHECK(c, !probe::Checked(s, 1012));
  CHECK(c, !probe::Checked(s, 1013));
  CHECK_TEXT(c, Shown(c.target), probe::ItemText(s, 1015));
  CHECK(c, !probe::Enabled(s, 1015));
  std::vector<std::string> dirs = probe::ListItems(GetDlgItem(s, 1014));
  CHECK(c, std::count(dirs.begin(), dirs.end(), "[sub]") == 1);
  CHECK(c, std::count(dirs.begin(), dirs.end(), "[..]") == 1);
  CHECK(c, std::count(dirs.begin(), dirs.end(), "[-z-]") == 1);
  CHECK_TEXT(c, "実行", probe::ItemText(s, 1));
  CHECK_TEXT(c, "終了(e&Xit)", probe::ItemText(s, 2));
  Shot(c, "settings", {s});
  probe::Press(s, 2);
  ExpectExit(c);
  CHECK_INT(c, 0, static_cast<long long>(ReadLines(c.record).size()));
}

void SettingsArgumentsWithoutAutoExec(Case& c) {
  Prepare(c, "ERROR_REACTION C\r\nFORCE\r\n", kSets);
  Start(c, "999 cm");
  ExpectBox(c, kTitle,
            "第一引数で指定された解像度 999 は定義ファイル\n" + c.definition +
                "\nに存在しません。この引数は無視します。",
            IDOK);
  HWND s = WaitFor(c, Kind::Settings);
  CHECK_TEXT(c, "118dpi bitgraph", probe::ItemText(s, 1000));
  CHECK_LIST(c, (std::vector<std::string>{"cm"}), probe::ListItems(GetDlgItem(s, 1008)));
  CHECK_LIST(c, (std::vector<std::string>{"Demo", "logo"}), probe::ComboItems(GetDlgItem(s, 1011)));
  CHECK_TEXT(c, "Demo", probe::ItemText(s, 1011));
  CHECK(c, probe::Enabled(s, 3));
  CHECK(c, probe::Checked(s, 1026));
  CHECK(c, !probe::Checked(s, 1025));
  CHECK(c, !probe::Checked(s, 1027));
  CHECK(c, probe::Checked(s, 1012));

  probe::Press(s, 3);  // Add: Demo moves over, logo is offered next
  CHECK(c, WaitUntil([&] { return probe::ListItems(GetDlgItem(s, 1008)).size() == 2; }, 3000));
  CHECK_LIST(c, (std::vector<std::string>{"cm", "Demo"}), probe::ListItems(GetDlgItem(s, 1008)));
  CHECK_TEXT(c, "logo", probe::ItemText(s, 1011));
  probe::Press(s, 2);
  ExpectExit(c);
  CHECK_INT(c, 0, static_cast<long long>(ReadLines(c.record).size()));
}

void SettingsSystemMenu(Case& c) {
  Prepare(c, "", kSets);
  Start(c, "");
  HWND s = WaitFor(c, Kind::Settings);
  probe::PostSysCommand(s, 104);
  HWND v = WaitFor(c, Kind::Version);
  CHECK_TEXT(c, kVersionTitle, probe::Title(v));
  std::string line = probe::ItemText(v, 1003);
  CHECK(c, line.compare(0, 12, "Version 3.10") == 0);
  CHECK(c, GetWindow(v, GW_OWNER) == s);
  Shot(c, "version", {v});
  probe::Press(v, IDCANCEL);  // Esc does not close it
  Sleep(300);
  CHECK(c, IsWindowVisible(v));
  probe::Press(v, IDOK);
  CHECK(c, WaitGone(v));
  CHECK(c, IsWindowVisible(s));

  // Closing from the system menu asks first.
  probe::PostSysCommand(s, SC_CLOSE);
  ExpectBox(c, kConfirmTitle, "終了しても宜しいですか", IDCANCEL);
  CHECK(c, IsWindowVisible(s));
  probe::PostSysCommand(s, SC_CLOSE);
  ExpectBox(c, kConfirmTitle, "終了しても宜しいですか", IDOK);
  ExpectExit(c);
  CHECK_INT(c, 0, static_cast<long long>(ReadLines(c.record).size()));
}

void SettingsTargetDirMissing(Case& c) {
  Prepare(c, "", kSets, "Z:\\no\\such\\dir");
  Start(c, "400 cm");
  ExpectBox(c, kTitle,
            "定義ファイル\n" + c.definition +
                "\nに設定されていいる TARGET_DIR\nZ:\\no\\such\\dir は\n存在しないか, 又はディレクトリではありません。\n"
                "ダイアログでフォントの作成先ディレクトリを正し\nく設定すれば,   継続出来ます。次回からは正しい\n"
                "ディレクトリちゃんと定義ファイルに設定して下さ\nい。",
            IDOK);
  // Every argument applied, yet no auto exec; the list shows the current directory.
  HWND s = WaitFor(c, Kind::Settings);
  CHECK_TEXT(c, "400dpi nexthi", probe::ItemText(s, 1000));
  CHECK_LIST(c, (std::vector<std::string>{"cm"}), probe::ListItems(GetDlgItem(s, 1008)));
  CHECK_TEXT(c, Shown(c.dir), probe::ItemText(s, 1015));
  probe::Press(s, 2);
  ExpectExit(c);
  CHECK_INT(c, 0, static_cast<long long>(ReadLines(c.record).size()));
}

struct ConsoleSearch {
  HWND found;
};

BOOL CALLBACK MatchConsole(HWND window, LPARAM param) {
  static const std::string prefix = "Fontkiln for WIN32  Process Console #";
  std::string title = probe::Title(window);
  if (title.size() > prefix.size() && title.compare(0, prefix.size(), prefix) == 0 &&
      title.find_first_not_of("0123456789", prefix.size()) == std::string::npos) {
    reinterpret_cast<ConsoleSearch*>(param)->found = window;
    return FALSE;
  }
  return TRUE;
}

// The process console, found by its unique title (it belongs to the console
// host, not to kiln.exe).
HWND FindConsole() {
  ConsoleSearch search{nullptr};
  EnumWindows(MatchConsole, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void SettingsDebugMode(Case& c) {
  Prepare(c, "", "cm:\r\ncmr 5\r\n");
  Start(c, "");
  HWND s = WaitFor(c, Kind::Settings);
  REQUIRE(c, probe::SetItemText(s, 1000, "400dpi nexthi"));
  HWND console = nullptr;
  REQUIRE(c, WaitUntil([&] { return (console = FindConsole()) != nullptr; }, 3000));
  // Created during the dialog's start, then hidden again: debug mode is off.
  CHECK(c, !IsWindowVisible(console));

  probe::QueryItem(s, 1013, BM_SETCHECK, BST_CHECKED);
  probe::Press(s, 1013);
  CHECK(c, WaitUntil([&] { return IsWindowVisible(console) != FALSE; }, 3000));
  Shot(c, "settings_debug", {s, console});
  probe::Press(s, 1);
  ExpectBox(c, "デバッグ", "一時停止", IDOK);
  ExpectBox(c, kTitle, Summary("1", Shown(c.target)), IDOK);
  ExpectExit(c);
  CheckFiled(c, {"cmr5.400pk"}, {"cmr5"});
}

// Wine starts every child at normal priority whatever class it is given, so
// the class itself cannot be observed here; the question can.
void SettingsPriorityAndSets(Case& c) {
  Prepare(c, "", kSets);
  Start(c, "");
  HWND s = WaitFor(c, Kind::Settings);
  HWND list = GetDlgItem(s, 1008);
  probe::QueryItem(s, 1022, TBM_SETPOS, TRUE, 3);  // 徒歩
  CHECK_INT(c, 3, probe::QueryItem(s, 1022, TBM_GETPOS));
  probe::Press(s, 1);
  ExpectBox(c, kTitle, kPriorityQuestion, IDCANCEL);
  CHECK(c, IsWindowVisible(s));

  // Removing every set disables Delete; Run then refuses.
  for (size_t left = 2; left != static_cast<size_t>(-1); --left) {
    probe::Press(s, 4);
    CHECK(c, WaitUntil([&] { return probe::ListItems(list).size() == left; }, 3000));
  }
  CHECK(c, !probe::Enabled(s, 4));
  CHECK(c, probe::Enabled(s, 3));
  CHECK_LIST(c, (std::vector<std::string>{"cm", "Demo", "logo"}), probe::ComboItems(GetDlgItem(s, 1011)));
  probe::Press(s, 1);
  ExpectBox(c, kTitle, "フォントセットが選択されていません。", IDOK);

  // Adding one back leaves Delete disabled until the list is clicked.
  REQUIRE(c, probe::SetItemText(s, 1011, "logo"));
  probe::Press(s, 3);
  CHECK(c, WaitUntil([&] { return probe::ListItems(list).size() == 1; }, 3000));
  CHECK_LIST(c, (std::vector<std::string>{"logo"}), probe::ListItems(list));
  CHECK(c, !probe::Enabled(s, 4));

  probe::Press(s, 1);
  ExpectBox(c, kTitle, kPriorityQuestion, IDOK, "priority_question");
  ExpectBox(c, kTitle, Summary("2", Shown(c.target)), IDOK);
  ExpectExit(c);
  CHECK_LIST(c, (std::vector<std::string>{"logo10", "logo10"}), StartedFonts(c));
  CheckFiled(c, {"logo10.129pk", "logo10.236pk"}, {"logo10"});
}

void Uninst(Case& c) {
  Prepare(c, "", kSets);
  Start(c, "");
  HWND s = WaitFor(c, Kind::Settings);
  probe::Press(s, 5);
  ExpectBox(c, kTitle, kUninstallQuestion, IDCANCEL);
  CHECK(c, KeyExists(kProgramKey));
  CHECK(c, IsWindowVisible(s));
  probe::Press(s, 5);
  ExpectBox(c, kTitle, kUninstallQuestion, IDOK);
  ExpectBox(c, kTitle, kUninstalled, IDOK);
  ExpectExit(c);
  CHECK(c, !KeyExists(kProgramKey));
  CHECK(c, KeyExists(kVendorKey));
  CHECK_INT(c, 0, static_cast<long long>(ReadLines(c.record).size()));
}

// --- runs

void AutoExecFullCommandLine(Case& c) {
  Prepare(c, "", kSets);
  // Started from a console, as from a command prompt.
  Start(c, "400 cm", true);
  ExpectExit(c);  // no summary: resolution and set both came from the command line
  CHECK_LIST(c,
             (std::vector<std::string>{"mf start cmr5 \\mode=nexthi; nonstopmode; mag=1; input cmr5",
                                       "mf start cmr10 \\mode=nexthi; nonstopmode; mag=1; input cmr10",
                                       "mf start cmr10 \\mode=nexthi; nonstopmode; mag=magstep1; input cmr10"}),
             RecordLines(c, "mf start"));
  CHECK_LIST(c,
             (std::vector<std::string>{"gftopk cmr5.400gf cmr5.400pk", "gftopk cmr10.400gf cmr10.400pk",
                                       "gftopk cmr10.480gf cmr10.480pk"}),
             RecordLines(c, "gftopk"));
  CheckRanInTarget(c);
  CheckFiled(c, {"cmr5.400pk", "cmr10.400pk", "cmr10.480pk"}, {"cmr5", "cmr10"});
}

void AutoExecResolutionOnly(Case& c) {
  Prepare(c, "", kSets);
  Start(c, "118");
  ExpectBox(c, kTitle, Summary("6", Shown(c.target)), IDOK, "summary");
  ExpectExit(c);
  // The sets run in the selected list's order: cm, Demo, logo.
  CHECK_LIST(c, (std::vector<std::string>{"cmr5", "cmr10", "cmr10", "cmbx10", "logo10", "logo10"}),
             StartedFonts(c));
  CheckFiled(c, {"cmr5.118pk", "cmr10.118pk", "cmr10.142pk", "cmbx10.118pk", "logo10.129pk", "logo10.236pk"},
             {"cmr5", "cmr10", "cmbx10", "logo10"});
}

void RunPressedNothingToDo(Case& c) {
  Prepare(c, "", kSets);
  // Every font exists already; cmr5 one resolution below counts too.
  for (const char* pk : {"cmr5.399pk", "cmr10.400pk", "cmr10.480pk", "cmbx10.400pk", "logo10.438pk", "logo10.800pk"})
    WriteFileText(c.target + "\\" + pk, "PK");
  Start(c, "");
  HWND s = WaitFor(c, Kind::Settings);
  REQUIRE(c, probe::SetItemText(s, 1000, "400dpi nexthi"));
  probe::Press(s, 1);
  ExpectBox(c, kTitle, Summary("0", Shown(c.target), "0"), IDOK);
  ExpectExit(c);
  CHECK_INT(c, 0, static_cast<long long>(ReadLines(c.record).size()));
}

void BatchProgress(Case& c) {
  Prepare(c, "", "cm:\r\ncmr 5 6 7 8 9\r\n");
  SetControl("KILN_STANDIN_SLEEP_MS", "900");
  Start(c, "400 cm");
  HWND p = WaitFor(c, Kind::Progress);
  CHECK_TEXT(c, kVersionTitle, probe::Title(p));
  REQUIRE(c, WaitUntil([&] { return RecordLines(c, "mf start").size() >= 2; }, 15000));
  // The second font is running: the first is filed and counted on the bar.
  CHECK_INT(c, 0, probe::QueryItem(p, 1004, PBM_GETRANGE, TRUE));
  CHECK_INT(c, 5, probe::QueryItem(p, 1004, PBM_GETRANGE, FALSE));
  CHECK_INT(c, 1, probe::QueryItem(p, 1004, PBM_GETPOS));
  CHECK_TEXT(c, "40%(2/5) 生成中[cm]", probe::ItemText(p, 1005));
  CHECK_TEXT(c, MfLine("nexthi", "1", "cmr6"), probe::ItemText(p, 1006));
  CHECK_TEXT(c, "開始時刻: #:#:#, 現在時刻: #:#:#, 終了予測時刻: #:#:#(残り#秒)", probe::ItemText(p, 1018));

  // The two view buttons alternate.
  CHECK(c, probe::Enabled(p, 3));
  CHECK(c, !probe::Enabled(p, 1020));
  probe::Press(p, 3);
  CHECK(c, WaitUntil([&] { return !probe::Enabled(p, 3) && probe::Enabled(p, 1020); }, 3000));
  RECT r;
  GetWindowRect(p, &r);
  POINT below{r.left + 20, r.bottom + 20};
  HWND console = GetAncestor(WindowFromPoint(below), GA_ROOT);
  Shot(c, "progress", {p, console});
  probe::Press(p, 1020);
  CHECK(c, WaitUntil([&] { return probe::Enabled(p, 3) && !probe::Enabled(p, 1020); }, 3000));

  // The version box blocks only the progress dialog: the batch goes on.
  probe::PostSysCommand(p, 104);
  HWND v = WaitFor(c, Kind::Version);
  CHECK(c, GetWindow(v, GW_OWNER) == p);
  size_t started = RecordLines(c, "mf start").size();
  CHECK(c, WaitUntil([&] { return RecordLines(c, "mf start").size() > started; }, 5000));
  CHECK(c, WaitUntil([&] { return probe::QueryItem(p, 1004, PBM_GETPOS) >= 2; }, 5000));
  probe::Press(v, IDOK);
  CHECK(c, WaitGone(v));

  // At the normal end the master closes the dialog without the question.
  ExpectExit(c);
  CHECK_LIST(c, (std::vector<std::string>{"cmr5", "cmr6", "cmr7", "cmr8", "cmr9"}), StartedFonts(c));
  CheckFiled(c, {"cmr5.400pk", "cmr6.400pk", "cmr7.400pk", "cmr8.400pk", "cmr9.400pk"},
             {"cmr5", "cmr6", "cmr7", "cmr8", "cmr9"});
}

void GfFileOneOff(Case& c) {
  Prepare(c, "", "cm:\r\ncmr 5 10 12\r\n");
  SetControl("KILN_STANDIN_OFFBY", "cmr5,cmr10:-1");
  Start(c, "400 cm");
  ExpectExit(c);
  CHECK_LIST(c,
             (std::vector<std::string>{"gftopk cmr5.401gf cmr5.401pk", "gftopk cmr10.399gf cmr10.399pk",
                                       "gftopk cmr12.400gf cmr12.400pk"}),
             RecordLines(c, "gftopk"));
  CheckFiled(c, {"cmr5.401pk", "cmr10.399pk", "cmr12.400pk"}, {"cmr5", "cmr10", "cmr12"});
}

void ReactionStop(Case& c) {
  Prepare(c, "ERROR_REACTION S\r\n", "cm:\r\ncmr 5 10 12\r\nlater:\r\ncmbx 10\r\n");
  SetControl("KILN_STANDIN_FAIL", "cmr10");
  Start(c, "400 cm later");
  ExpectBox(c, kTitle, NoGfMessage(MfLine("nexthi", "1", "cmr10"), "cmr10", 400), IDOK, "failure_box");
  // No continue question, no stop notice, no summary.
  ExpectExit(c);
  CHECK_LIST(c, (std::vector<std::string>{"cmr5", "cmr10"}), StartedFonts(c));
  CheckFiled(c, {"cmr5.400pk"}, {"cmr5"});
}

void ReactionConfirmContinue(Case& c) {
  Prepare(c, "ERROR_REACTION C\r\n", "cm:\r\ncmr 5 10 12\r\n");
  SetControl("KILN_STANDIN_FAIL", "cmr5");
  SetControl("KILN_STANDIN_GFTOPK_FAIL", "cmr10");
  Start(c, "400 cm");
  ExpectBox(c, kTitle, NoGfMessage(MfLine("nexthi", "1", "cmr5"), "cmr5", 400), IDOK);
  ExpectBox(c, kTitle, kContinueQuestion, IDOK, "continue_question");
  ExpectBox(c, kTitle, NoPkMessage("cmr10", 400), IDOK);
  ExpectBox(c, kTitle, kContinueQuestion, IDOK);
  ExpectExit(c);
  CHECK_LIST(c, (std::vector<std::string>{"cmr5", "cmr10", "cmr12"}), StartedFonts(c));
  // A failed job's files stay as the programs left them.
  CheckFiled(c, {"cmr10.400gf", "cmr10.log", "cmr10.tfm", "cmr12.400pk"}, {"cmr12"});
}

void ReactionConfirmCancel(Case& c) {
  Prepare(c, "ERROR_REACTION C\r\n", kSets);
  SetControl("KILN_STANDIN_FAIL", "cmr5");
  Start(c, "400");
  ExpectBox(c, kTitle, NoGfMessage(MfLine("nexthi", "1", "cmr5"), "cmr5", 400), IDOK);
  ExpectBox(c, kTitle, kContinueQuestion, IDCANCEL);
  // No stop notice; the summary counts the failed font.
  ExpectBox(c, kTitle, Summary("1", Shown(c.target)), IDOK);
  ExpectExit(c);
  CHECK_LIST(c, (std::vector<std::string>{"cmr5"}), StartedFonts(c));
  CHECK_INT(c, 0, static_cast<long long>(RecordLines(c, "gftopk").size()));
}

void ReactionIgnore(Case& c) {
  Prepare(c, "ERROR_REACTION I\r\n", kSets);
  SetControl("KILN_STANDIN_FAIL", "cmr5");
  Start(c, "400 cm");
  ExpectExit(c);
  CHECK_LIST(c, (std::vector<std::string>{"cmr5", "cmr10", "cmr10"}), StartedFonts(c));
  CheckFiled(c, {"cmr10.400pk", "cmr10.480pk"}, {"cmr10"});
}

void StopCancelThenOk(Case& c) {
  Prepare(c, "", "cm:\r\ncmr 5 6 7 8 9\r\n");
  SetControl("KILN_STANDIN_SLEEP_MS", "1500");
  Start(c, "400 cm");
  HWND p = WaitFor(c, Kind::Progress);
  REQUIRE(c, WaitUntil([&] { return RecordLines(c, "mf start").size() >= 1; }, 15000));

  // Esc does nothing.
  probe::Press(p, IDCANCEL);
  Sleep(300);
  CHECK(c, IsWindowVisible(p));
  CHECK_INT(c, 0, static_cast<long long>(probe::Dialogs(c.process.dwProcessId).size() - 1));

  // The close box asks too; Cancel changes nothing.
  probe::PostSysCommand(p, SC_CLOSE);
  HWND q = WaitFor(c, Kind::Box);
  CHECK_TEXT(c, kConfirmTitle, probe::Title(q));
  CHECK_TEXT(c, kStopQuestion, probe::BoxText(q));
  CHECK(c, GetWindow(q, GW_OWNER) == p);
  Shot(c, "stop_question", {q});
  Answer(c, q, IDCANCEL);
  CHECK(c, IsWindowVisible(p));
  REQUIRE(c, WaitUntil([&] { return RecordLines(c, "mf start").size() >= 2; }, 15000));

  probe::Press(p, 1);
  ExpectBox(c, kConfirmTitle, kStopQuestion, IDOK);
  size_t running = StartedFonts(c).size();
  CHECK(c, WaitGone(p, 3000));
  // The notice comes once the running font is finished and filed.
  HWND notice = WaitFor(c, Kind::Box);
  CHECK_TEXT(c, kTitle, probe::Title(notice));
  CHECK_TEXT(c, kStopNotice, probe::BoxText(notice));
  Answer(c, notice, IDOK);
  ExpectExit(c);
  std::vector<std::string> fonts = StartedFonts(c);
  CHECK_INT(c, static_cast<long long>(running), static_cast<long long>(fonts.size()));
  std::vector<std::string> pk;
  for (const std::string& font : fonts) pk.push_back(font + ".400pk");
  CheckFiled(c, pk, fonts);
}

// --- several fonts at once (JOBS)

const std::string kJobSets = "cm:\r\ncmr 5 6 7 8 10 10m1\r\nmore:\r\ncmr 10 12\r\n";

// The most "mf time" intervals that overlap at one moment.
int MostAtOnce(Case& c) {
  std::vector<std::pair<unsigned long, int>> events;
  for (const std::string& line : RecordLines(c, "mf time ")) {
    unsigned long begin = 0, end = 0;
    char font[64];
    if (std::sscanf(line.c_str(), "mf time %63s %lu %lu", font, &begin, &end) != 3) continue;
    events.push_back({begin, 1});
    events.push_back({end, -1});
  }
  // An end and a begin at one tick: the end first.
  std::sort(events.begin(), events.end());
  int now = 0, most = 0;
  for (const auto& event : events) most = std::max(most, now += event.second);
  return most;
}

std::vector<std::string> JobDirectories(Case& c) {
  std::vector<std::string> left;
  for (const std::string& dir : ListDirectories(c.target))
    if (dir.compare(0, 10, ".kiln-job.") == 0) left.push_back(dir);
  return left;
}

void JobsThreeAtOnce(Case& c) {
  // The same batch one at a time first: the files it leaves are the measure.
  Prepare(c, "", kJobSets);
  Start(c, "400 cm more");
  ExpectExit(c, 1, 90000);  // fourteen programs under Wine on a busy machine
  std::vector<std::string> sequentialPk = ListFiles(c.target);
  std::vector<std::string> sequentialTfm = ListFiles(c.target + "\\tfm");
  std::vector<std::string> sequentialLog = ListFiles(c.target + "\\log");
  CHECK_INT(c, 7, static_cast<long long>(sequentialPk.size()));

  Prepare(c, "JOBS 3\r\n", kJobSets);
  SetControl("KILN_STANDIN_SLEEP_MS", "2000");
  SetControl("KILN_STANDIN_TIMES", "1");
  // Only a resolution: the summary box holds the console for reading.
  Start(c, "400");
  HWND p = WaitFor(c, Kind::Progress);
  REQUIRE(c, WaitUntil([&] { return RecordLines(c, "mf start").size() >= 3; }, 15000));
  // Three run; the bar counts finished fonts only. (The count includes
  // cmr10 at 400 twice: the counting pass does not know it is built once.)
  CHECK_TEXT(c, "0%(0/8) 生成中: cmr5 400, cmr6 400, cmr7 400", probe::ItemText(p, 1005));
  CHECK_INT(c, 0, probe::QueryItem(p, 1004, PBM_GETPOS));
  CHECK_TEXT(c, MfLine("nexthi", "1", "cmr7"), probe::ItemText(p, 1006));
  REQUIRE(c, WaitUntil([&] { return probe::QueryItem(p, 1004, PBM_GETPOS) >= 3; }, 15000));
  Shot(c, "progress_jobs", {p});
  CHECK_TEXT(c, "開始時刻: #:#:#, 現在時刻: #:#:#, 終了予測時刻: #:#:#(残り#秒)", probe::ItemText(p, 1018));

  HWND summary = WaitFor(c, Kind::Box, 60000);
  CHECK_TEXT(c, Summary("7", Shown(c.target)), probe::BoxText(summary));
  // Each job's output stands whole in the console: its four lines in a row.
  std::vector<std::string> console = ConsoleLines(c);
  std::vector<std::string> marks;
  for (const std::string& line : console)
    if (line.size() > 4 && line[0] == '[' && line.back() == ']') marks.push_back(line);
  CHECK_INT(c, 28, static_cast<long long>(marks.size()));
  for (size_t i = 0; i + 3 < marks.size(); i += 4) {
    std::string font = marks[i].substr(1, marks[i].find(' ') - 1);
    for (int k = 0; k < 4; ++k)
      CHECK_TEXT(c, "[" + font + " " + Num(k + 1) + "/4]", marks[i + static_cast<size_t>(k)]);
  }
  Answer(c, summary, IDOK);
  ExpectExit(c, 1, 60000);

  CHECK_INT(c, 3, MostAtOnce(c));
  // cmr10 is named twice at 400 and built once.
  CHECK_INT(c, 7, static_cast<long long>(StartedFonts(c).size()));
  CHECK_LIST(c, sequentialPk, ListFiles(c.target));
  CHECK_LIST(c, sequentialTfm, ListFiles(c.target + "\\tfm"));
  CHECK_LIST(c, sequentialLog, ListFiles(c.target + "\\log"));
  // The log of cmr10 is that of its later job, as one at a time leaves it.
  std::vector<std::string> log = ReadLines(c.target + "\\log\\cmr10.log");
  CHECK(c, log.size() >= 2 && log[1].find("mag=magstep1") != std::string::npos);
  CHECK_LIST(c, std::vector<std::string>(), JobDirectories(c));
}

void JobsStopFilesTheRunning(Case& c) {
  Prepare(c, "JOBS 3\r\n", "cm:\r\ncmr 5 6 7 8 9 10 11 12 17\r\n");
  SetControl("KILN_STANDIN_SLEEP_MS", "2000");
  Start(c, "400 cm");
  HWND p = WaitFor(c, Kind::Progress);
  REQUIRE(c, WaitUntil([&] { return RecordLines(c, "mf start").size() >= 3; }, 15000));
  probe::Press(p, 1);
  HWND q = WaitFor(c, Kind::Box);
  CHECK_TEXT(c, kStopQuestion, probe::BoxText(q));
  // While the question is open no font starts, though the running ones end.
  size_t asked = StartedFonts(c).size();
  Sleep(2600);
  CHECK_INT(c, static_cast<long long>(asked), static_cast<long long>(StartedFonts(c).size()));
  Answer(c, q, IDOK);
  ExpectBox(c, kTitle, kStopNotice, IDOK);
  ExpectExit(c, 1, 60000);
  std::vector<std::string> fonts = StartedFonts(c);
  CHECK_INT(c, static_cast<long long>(asked), static_cast<long long>(fonts.size()));
  CHECK(c, fonts.size() < 9);
  std::vector<std::string> pk;
  for (const std::string& font : fonts) pk.push_back(font + ".400pk");
  CheckFiled(c, pk, fonts);
  CHECK_LIST(c, std::vector<std::string>(), JobDirectories(c));
}

// JOBS 0: one font per processor at once.
void JobsZeroOnePerProcessor(Case& c) {
  SYSTEM_INFO info = {};
  GetSystemInfo(&info);
  const int processors = static_cast<int>(info.dwNumberOfProcessors);
  Prepare(c, "JOBS 0\r\n", "cm:\r\ncmr 5 6 7\r\n");
  SetControl("KILN_STANDIN_SLEEP_MS", "1500");
  SetControl("KILN_STANDIN_TIMES", "1");
  Start(c, "400 cm");
  ExpectExit(c, 1, 60000);
  // (With one processor JOBS 0 cannot be told from JOBS 1 here.)
  CHECK_INT(c, processors < 3 ? processors : 3, MostAtOnce(c));
  CheckFiled(c, {"cmr5.400pk", "cmr6.400pk", "cmr7.400pk"}, {"cmr5", "cmr6", "cmr7"});
}

// With JOBS, a failed job is filed as the terminal program files it: its
// log under the font and resolution, its GF and TFM files gone; without
// JOBS they stay (reaction_confirm_continue).
void JobsFailureFiled(Case& c) {
  Prepare(c, "JOBS 2\r\nERROR_REACTION I\r\n", "cm:\r\ncmr 5 10 12\r\n");
  SetControl("KILN_STANDIN_GFTOPK_FAIL", "cmr10");
  Start(c, "400 cm");
  ExpectExit(c, 1, 60000);
  CHECK_LIST(c, (std::vector<std::string>{"cmr12.400pk", "cmr5.400pk"}), ListFiles(c.target));
  CHECK_LIST(c, (std::vector<std::string>{"cmr12.tfm", "cmr5.tfm"}), ListFiles(c.target + "\\tfm"));
  CHECK_LIST(c, (std::vector<std::string>{"cmr10.400.log", "cmr12.log", "cmr5.log"}),
             ListFiles(c.target + "\\log"));
  std::vector<std::string> log = ReadLines(c.target + "\\log\\cmr10.400.log");
  CHECK(c, log.size() >= 2 && log[1].find("input cmr10") != std::string::npos);
  CHECK_LIST(c, std::vector<std::string>(), JobDirectories(c));
}

// --- a DVI file on the command line

using Bytes = std::string;

void Put(Bytes& out, unsigned long value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void PutDef(Bytes& out, int number, const std::string& name, unsigned long scaled,
            unsigned long design) {
  out.push_back(static_cast<char>(243));
  out.push_back(static_cast<char>(number));
  Put(out, 0, 4);
  Put(out, scaled, 4);
  Put(out, design, 4);
  out.push_back(0);
  out.push_back(static_cast<char>(name.size()));
  out += name;
}

const unsigned long kTenPoint = 655360;

// A document of one page: "A" in the virtual font vtest, "B" in cmr10 at
// 12 pt and "C" in nosrc10, a font without a METAFONT source.
Bytes PaperDvi() {
  struct Font {
    int number;
    const char* name;
    unsigned long scaled;
  } fonts[] = {{0, "vtest", kTenPoint}, {1, "cmr10", kTenPoint * 6 / 5}, {2, "nosrc10", kTenPoint}};
  Bytes out;
  out.push_back(static_cast<char>(247));
  out.push_back(2);
  Put(out, 25400000, 4);
  Put(out, 473628672, 4);
  Put(out, 1000, 4);
  out.push_back(0);
  size_t bop = out.size();
  out.push_back(static_cast<char>(139));
  Put(out, 1, 4);
  Put(out, 0, 36);
  Put(out, 0xFFFFFFFFul, 4);
  for (const Font& font : fonts) {
    PutDef(out, font.number, font.name, font.scaled, kTenPoint);
    out.push_back(static_cast<char>(171 + font.number));  // fnt_num
    out.push_back(static_cast<char>('A' + font.number));  // set_char
  }
  out.push_back(static_cast<char>(140));
  size_t post = out.size();
  out.push_back(static_cast<char>(248));
  Put(out, bop, 4);
  Put(out, 25400000, 4);
  Put(out, 473628672, 4);
  Put(out, 1000, 4);
  Put(out, 0, 8);  // l u
  Put(out, 1, 2);  // s
  Put(out, 1, 2);  // t: one page
  for (const Font& font : fonts) PutDef(out, font.number, font.name, font.scaled, kTenPoint);
  out.push_back(static_cast<char>(249));
  Put(out, post, 4);
  out.push_back(2);
  do out.push_back(static_cast<char>(223));
  while (out.size() % 4 != 0 || static_cast<unsigned char>(out[out.size() - 4]) != 223);
  return out;
}

// vtest.vf: its "A" is cmbx10's "A" and logo10's "B" at twice the size.
Bytes VtestVf() {
  Bytes out;
  out.push_back(static_cast<char>(247));
  out.push_back(static_cast<char>(202));
  out.push_back(0);
  Put(out, 0, 4);
  Put(out, 10ul << 20, 4);
  PutDef(out, 0, "cmbx10", 1ul << 20, 10ul << 20);
  PutDef(out, 1, "logo10", 2ul << 20, 10ul << 20);
  out.push_back(5);  // a short packet of five bytes
  out.push_back('A');
  Put(out, 0x80000, 3);
  out += std::string{static_cast<char>(171), 'A', static_cast<char>(172), 'B', static_cast<char>(138)};
  do out.push_back(static_cast<char>(248));
  while (out.size() % 4 != 0);
  return out;
}

// The case's TeX tree for the kpsewhich stand-in, and the document.
void PrepareDocument(Case& c, const Bytes& dvi) {
  std::string tex = c.dir + "\\tex";
  CreateDirectoryA(tex.c_str(), nullptr);
  for (const char* source : {"cmr10.mf", "cmbx10.mf", "logo10.mf"}) WriteFileText(tex + "\\" + source, "%");
  WriteFileText(tex + "\\vtest.vf", VtestVf());
  WriteFileText(c.dir + "\\paper.dvi", dvi);
  SetControl("KILN_STANDIN_TEXDIR", tex);
}

const std::string kDocumentSets = "cm:\r\ncmr 5\r\nlogo:\r\nlogo10\r\n";

void DocumentListedAndChosen(Case& c) {
  Prepare(c, "600 ljfour\r\n", kDocumentSets);
  PrepareDocument(c, PaperDvi());
  // A dropped file's path comes quoted.
  Start(c, "\"" + c.dir + "\\paper.dvi\"");
  // No warning about the argument: the dialog comes first.
  HWND s = WaitFor(c, Kind::Settings);
  CHECK_LIST(c, (std::vector<std::string>{"paper.dvi"}), probe::ListItems(GetDlgItem(s, 1008)));
  CHECK_LIST(c, (std::vector<std::string>{"cm", "logo"}), probe::ComboItems(GetDlgItem(s, 1011)));
  Shot(c, "settings_document", {s});
  probe::Press(s, 2);
  ExpectExit(c);
  CHECK_INT(c, 0, static_cast<long long>(ReadLines(c.record).size()));
}

void DocumentAutoExec(Case& c) {
  Prepare(c, "600 ljfour\r\n", kDocumentSets);
  PrepareDocument(c, PaperDvi());
  Start(c, "600 paper.dvi");
  ExpectBox(c, kTitle,
            "次の 1 個のフォントは METAFONT のソースファイルが見つからないため\n生成しません。\n    nosrc10",
            IDOK);
  // As with font sets on the command line: no summary.
  ExpectExit(c);
  CHECK_LIST(c,
             Sorted({"mf start cmbx10 \\mode=ljfour; nonstopmode; mag=1; input cmbx10",
                     "mf start logo10 \\mode=ljfour; nonstopmode; mag=2; input logo10",
                     "mf start cmr10 \\mode=ljfour; nonstopmode; mag=1+1/5; input cmr10"}),
             Sorted(RecordLines(c, "mf start")));
  CheckFiled(c, {"cmbx10.600pk", "cmr10.720pk", "logo10.1200pk"}, {"cmbx10", "cmr10", "logo10"});
}

void DocumentDamaged(Case& c) {
  Prepare(c, "600 ljfour\r\n", kDocumentSets);
  Bytes dvi = PaperDvi();
  dvi.resize(dvi.size() - 12);  // the postamble's end is gone
  PrepareDocument(c, dvi);
  Start(c, "600 paper.dvi");
  HWND box = WaitFor(c, Kind::Box);
  std::string text = probe::BoxText(box);
  const std::string head = "DVI ファイルを読み込めませんでした。\n";
  CHECK(c, text.compare(0, head.size(), head) == 0);
  CHECK(c, text.find("paper.dvi") != std::string::npos);
  Answer(c, box, IDOK);
  ExpectExit(c);
  CHECK_INT(c, 0, static_cast<long long>(RecordLines(c, "mf").size()));
  CHECK_LIST(c, std::vector<std::string>(), ListFiles(c.target));
}

void DocumentWithoutKpsewhich(Case& c) {
  Prepare(c, "600 ljfour\r\n", kDocumentSets);
  PrepareDocument(c, PaperDvi());
  // METAFONT from a folder that holds no kpsewhich.exe.
  const std::string bin = c.dir + "\\bin";
  CreateDirectoryA(bin.c_str(), nullptr);
  REQUIRE(c, CopyFileA((options.standins + "\\mf.exe").c_str(), (bin + "\\mf.exe").c_str(), FALSE));
  std::string text;
  for (const std::string& line : ReadLines(c.definition))
    text += (line == "MF mf \\mode=" ? "MF " + bin + "\\mf \\mode=" : line) + "\r\n";
  REQUIRE(c, WriteFileText(c.definition, text));
  Start(c, "600 paper.dvi");
  ExpectBox(c, kTitle,
            "METAFONT のプログラムと同じディレクトリに kpsewhich.exe が\n"
            "見つからないため, 次の DVI ファイルのフォントは生成しません。\n    " + c.dir + "\\paper.dvi",
            IDOK);
  ExpectExit(c);
  CHECK_INT(c, 0, static_cast<long long>(RecordLines(c, "mf").size()));
  CHECK_INT(c, 0, static_cast<long long>(RecordLines(c, "kpsewhich").size()));
}

// --- TEXMF: a TeX tree, with two fonts at once

void TexmfTreeWithJobs(Case& c) {
  Prepare(c, "JOBS 2\r\nTEXMF tree\r\n", "cm:\r\ncmr 10 10m1 12\r\n");
  const std::string tree = c.dir + "\\tree";
  const std::string sources = tree + "\\fonts\\source\\public\\cm";
  for (const std::string& dir : {tree, tree + "\\fonts", tree + "\\fonts\\source",
                                 tree + "\\fonts\\source\\public", sources})
    CreateDirectoryA(dir.c_str(), nullptr);
  WriteFileText(sources + "\\cmr10.mf", "%");
  WriteFileText(sources + "\\cmr12.mf", "%");
  const std::string lsR = "% ls-R -- filename database for kpathsea; do not change this line.\n";
  WriteFileText(tree + "\\ls-R", lsR);
  SetControl("KILN_STANDIN_TEXDIR", sources);
  Start(c, "400 cm");
  ExpectExit(c, 1, 60000);
  const std::string pk = tree + "\\fonts\\pk\\nexthi\\public\\cm";
  CHECK_LIST(c, (std::vector<std::string>{"cmr10.400pk", "cmr10.480pk", "cmr12.400pk"}), ListFiles(pk));
  CHECK_LIST(c, (std::vector<std::string>{"cmr10.tfm", "cmr12.tfm"}),
             ListFiles(tree + "\\fonts\\tfm\\public\\cm"));
  CHECK_LIST(c, (std::vector<std::string>{"cmr10.log", "cmr12.log"}), ListFiles(tree + "\\kiln\\log"));
  CHECK_LIST(c, (std::vector<std::string>{"log"}), ListDirectories(tree + "\\kiln"));
  CHECK_LIST(c, std::vector<std::string>(), ListFiles(c.target));
  std::vector<std::string> lines = ReadLines(tree + "\\ls-R");
  CHECK(c, std::find(lines.begin(), lines.end(), "./fonts/pk/nexthi/public/cm:") != lines.end());
  CHECK(c, std::find(lines.begin(), lines.end(), "cmr10.480pk") != lines.end());
}

// A drive's root written "D:" would make the line a font-set label.
void TexmfDriveColonRefused(Case& c) {
  Prepare(c, "TEXMF D:\r\n", "cm:\r\ncmr 5\r\n");
  Start(c, "400 cm");
  ExpectBox(c, kTitle,
            "定義ファイル\n" + c.definition +
                "\nの TEXMF D: はコロンで終わっているため使えません\n"
                "(その行がフォントセットのラベルになります)。D:\\ のように書いて下さい。\n"
                "フォントの生成は行いません。",
            IDOK);
  ExpectExit(c);
  CHECK_INT(c, 0, static_cast<long long>(RecordLines(c, "mf").size()));
  CHECK_LIST(c, std::vector<std::string>(), ListFiles(c.target));
}

// --- the real METAFONT, gftopk and kpsewhich (scripts/windows-tex.sh)

// The font sets of the real cases. The terminal program builds the same
// jobs with the Linux programs first (--export-reference writes them), and
// every PK file here must equal its namesake there.
const std::string kRealSetFonts = "real:\r\ncmr 5 10m0.5\r\nkilnnosrc 10\r\ncmr 12\r\n";
const std::string kRealJobFonts = "jobs:\r\ncmr 6 8 9 10\r\ncmbx 10 12\r\ncmti 10 12\r\ncmsl 10\r\ncmss 10\r\n";
const std::string kRealTreeFonts = "tree:\r\ncmr 9 10m1\r\ncmti 12\r\n";
const std::string kRealJapaneseFonts = "japanese:\r\ncmr 7 10\r\n";

std::vector<std::string> PkFiles(const std::string& dir) {
  std::vector<std::string> pk;
  for (const std::string& name : ListFiles(dir))
    if (name.size() > 2 && name.compare(name.size() - 2, 2, "pk") == 0) pk.push_back(name);
  return pk;
}

bool HasRow(const std::vector<std::string>& rows, const std::string& text) {
  for (const std::string& row : rows)
    if (row.find(text) != std::string::npos) return true;
  return false;
}

// METAFONT's own words in the process console for each job ("cmr5.600").
void CheckMetafontOutput(Case& c, const std::vector<std::string>& console,
                         const std::vector<std::string>& jobs) {
  CHECK(c, HasRow(console, "This is METAFONT, Version 2.71828182"));
  for (const std::string& job : jobs)
    if (!CHECK(c, HasRow(console, "Output written on " + job + "gf ")))
      Fail(c, __FILE__, __LINE__, "  for %s", job.c_str());
}

const std::string kNoSourceLine = "! I can't find file `kilnnosrc10'.";

void RealFontSetReactions(Case& c) {
  const std::string failed =
      NoGfMessage(MfLine("ljfour", "1", "kilnnosrc10"), "kilnnosrc10", 600);
  const std::vector<std::string> built = {"cmr10.657pk", "cmr12.600pk", "cmr5.600pk"};

  // S: the failure ends the batch; the fonts before it are built and filed.
  PrepareReal(c, "ERROR_REACTION S\r\n", kRealSetFonts);
  Start(c, "600 real");
  HWND box = WaitFor(c, Kind::Box, 60000);
  CHECK_TEXT(c, failed, probe::BoxText(box));
  std::vector<std::string> console = ConsoleLines(c);
  CheckMetafontOutput(c, console, {"cmr5.600", "cmr10.657"});
  CHECK(c, HasRow(console, kNoSourceLine));
  Answer(c, box, IDOK);
  ExpectExit(c);
  CHECK_LIST(c, (std::vector<std::string>{"cmr10.657pk", "cmr5.600pk"}), PkFiles(c.target));
  CheckPkLikeReference(c, c.target, PkFiles(c.target));
  CHECK_LIST(c, (std::vector<std::string>{"cmr10.tfm", "cmr5.tfm"}), ListFiles(c.target + "\\tfm"));

  // C: on after the failure; the summary counts all four jobs.
  PrepareReal(c, "ERROR_REACTION C\r\n", kRealSetFonts);
  Start(c, "600");
  ExpectBox(c, kTitle, failed, IDOK);
  ExpectBox(c, kTitle, kContinueQuestion, IDOK);
  HWND summary = WaitFor(c, Kind::Box, 60000);
  CHECK_TEXT(c, Summary("4", Shown(c.target)), probe::BoxText(summary));
  console = ConsoleLines(c);
  CheckMetafontOutput(c, console, {"cmr5.600", "cmr10.657", "cmr12.600"});
  CHECK(c, HasRow(console, kNoSourceLine));
  Answer(c, summary, IDOK);
  ExpectExit(c);
  CHECK_LIST(c, built, PkFiles(c.target));
  CheckPkLikeReference(c, c.target, built);

  // I: no question at all.
  PrepareReal(c, "ERROR_REACTION I\r\n", kRealSetFonts);
  Start(c, "600 real");
  ExpectExit(c, 1, 60000);
  CHECK_LIST(c, built, PkFiles(c.target));
  CheckPkLikeReference(c, c.target, built);
  CHECK_LIST(c, (std::vector<std::string>{"cmr10.tfm", "cmr12.tfm", "cmr5.tfm"}),
             ListFiles(c.target + "\\tfm"));
  std::vector<std::string> logs = ListFiles(c.target + "\\log");
  for (const char* log : {"cmr10.log", "cmr12.log", "cmr5.log"})
    CHECK(c, std::count(logs.begin(), logs.end(), log) == 1);
}

void RealJobsTwoConsole(Case& c) {
  PrepareReal(c, "JOBS 2\r\n", kRealJobFonts);
  // Only a resolution: the summary holds the console for reading.
  Start(c, "600");
  HWND p = WaitFor(c, Kind::Progress, 30000);
  // Two fonts named on the state line at once.
  CHECK(c, WaitUntil([&] { return probe::ItemText(p, 1005).find(" 600, ") != std::string::npos; },
                     30000));
  // Two finished: the console has METAFONT's output to show.
  CHECK(c, WaitUntil([&] { return probe::QueryItem(p, 1004, PBM_GETPOS) >= 2; }, 30000));
  probe::Press(p, 3);
  HWND console = nullptr;
  CHECK(c, WaitUntil([&] { return (console = FindConsole()) != nullptr && IsWindowVisible(console); },
                     3000));
  Shot(c, "real_progress_jobs", {p, console});

  HWND summary = WaitFor(c, Kind::Box, 90000);
  CHECK_TEXT(c, Summary("10", Shown(c.target)), probe::BoxText(summary));
  // The console stays in front of the box it came before.
  SetWindowPos(summary, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
  Shot(c, "real_summary", {summary});
  const std::vector<std::string> fonts = {"cmbx10", "cmbx12", "cmr10", "cmr6", "cmr8",
                                          "cmr9",   "cmsl10", "cmss10", "cmti10", "cmti12"};
  std::vector<std::string> pk;
  for (const std::string& font : fonts) pk.push_back(font + ".600pk");
  // Each job's output stands whole: from METAFONT's banner to its
  // transcript line, no other job's banner. The console keeps its last
  // rows only (some 30 a font), so the first job shown may lack its start.
  std::vector<std::string> rows = ConsoleLines(c);
  std::vector<std::string> transcripts, jobs;
  bool open = false, first = true;
  for (const std::string& row : rows) {
    if (row.compare(0, 17, "This is METAFONT,") == 0) {
      CHECK(c, !open);
      open = true;
      first = false;
    } else if (row.compare(0, 22, "Transcript written on ") == 0 && row.size() > 27) {
      CHECK(c, open || first);
      open = false;
      std::string font = row.substr(22, row.size() - 22 - 5);  // "NAME.log."
      transcripts.push_back(font);
      jobs.push_back(font + ".600");
      CHECK(c, std::count(fonts.begin(), fonts.end(), font) == 1);
    }
  }
  CHECK(c, transcripts.size() >= 4);
  CheckMetafontOutput(c, rows, jobs);
  Answer(c, summary, IDOK);
  ExpectExit(c, 1, 30000);
  CHECK_LIST(c, pk, PkFiles(c.target));
  CheckPkLikeReference(c, c.target, pk);
  CHECK_LIST(c, std::vector<std::string>(), JobDirectories(c));
}

// Forward slashes, as kpathsea prints paths; a trail byte 0x5C stays.
std::string Slashed(std::string path) {
  for (size_t i = 0; i < path.size(); ++i) {
    unsigned char byte = static_cast<unsigned char>(path[i]);
    if ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC))
      ++i;
    else if (byte == '\\')
      path[i] = '/';
  }
  return path;
}

std::string Lower(std::string text) {
  for (char& ch : text)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return text;
}

void RealTexmfTree(Case& c) {
  PrepareReal(c, "JOBS 2\r\nTEXMF tree\r\n", kRealTreeFonts);
  const std::string tree = c.dir + "\\tree";
  REQUIRE(c, CreateDirectoryA(tree.c_str(), nullptr));
  REQUIRE(c, WriteFileText(tree + "\\ls-R",
                           "% ls-R -- filename database for kpathsea; do not change this line.\n"));
  // The tree as the user's home tree, read only through its ls-R ("!!"):
  // what kpsewhich finds there after the run, kiln listed.
  SetControl("TEXMFHOME", "!!" + Slashed(tree));
  Start(c, "600 tree");
  ExpectExit(c, 1, 60000);
  const std::string pk = tree + "\\fonts\\pk\\ljfour\\public\\cm";
  const std::vector<std::string> built = {"cmr10.720pk", "cmr9.600pk", "cmti12.600pk"};
  CHECK_LIST(c, built, ListFiles(pk));
  CheckPkLikeReference(c, pk, built);
  // Debian's tree has their TFM files: none filed here.
  CHECK(c, !FileExists(tree + "\\fonts\\tfm"));
  CHECK_LIST(c, (std::vector<std::string>{"cmr10.log", "cmr9.log", "cmti12.log"}),
             ListFiles(tree + "\\kiln\\log"));

  const std::string kpsewhich = "\"" + options.tex + "\\bin\\kpsewhich.exe\"";
  std::string at600, at720, error;
  REQUIRE(c, RunForOutput(kpsewhich + " -format=pk -mode=ljfour -dpi=600 cmr9 cmti12", c.dir, at600,
                          error));
  REQUIRE(c, RunForOutput(kpsewhich + " -format=pk -mode=ljfour -dpi=720 cmr10", c.dir, at720, error));
  const std::string where = Lower(Slashed(pk));
  CHECK_TEXT(c, where + "/cmr9.600pk\r\n" + where + "/cmti12.600pk\r\n", Lower(at600));
  CHECK_TEXT(c, where + "/cmr10.720pk\r\n", Lower(at720));
}

void RealDocumentVirtualFont(Case& c) {
  PrepareReal(c, "", kDocumentSets);
  // vtest.vf where kpsewhich looks first: the folder kiln.exe starts in.
  REQUIRE(c, WriteFileText(c.dir + "\\vtest.vf", VtestVf()));
  REQUIRE(c, WriteFileText(c.dir + "\\paper.dvi", PaperDvi()));
  Start(c, "600 paper.dvi");
  HWND box = WaitFor(c, Kind::Box, 60000);
  CHECK_TEXT(c, "次の 1 個のフォントは METAFONT のソースファイルが見つからないため\n生成しません。\n    nosrc10",
             probe::BoxText(box));
  Answer(c, box, IDOK);
  ExpectExit(c, 1, 60000);
  const std::vector<std::string> built = {"cmbx10.600pk", "cmr10.720pk", "logo10.1200pk"};
  CHECK_LIST(c, built, PkFiles(c.target));
  CheckPkLikeReference(c, c.target, built);
}

void RealJapaneseTarget(Case& c) {
  // 表 and ソ end in the byte 0x5C, a backslash.
  const std::string target = options.caseDir.empty() ? options.scratch + "\\" + c.name + "\\フォント表ソ"
                                                     : options.caseDir + "\\フォント表ソ";
  PrepareReal(c, "", kRealJapaneseFonts, target.c_str());
  REQUIRE(c, CreateDirectoryA(target.c_str(), nullptr));
  Start(c, "600 japanese");
  ExpectExit(c, 1, 60000);
  const std::vector<std::string> built = {"cmr10.600pk", "cmr7.600pk"};
  CHECK_LIST(c, built, PkFiles(target));
  CheckPkLikeReference(c, target, built);
  CHECK_LIST(c, (std::vector<std::string>{"cmr10.tfm", "cmr7.tfm"}), ListFiles(target + "\\tfm"));
  CHECK_LIST(c, (std::vector<std::string>{"cmr10.log", "cmr7.log"}), ListFiles(target + "\\log"));
}

// The real cases' jobs for the terminal program: a definition file with
// their sets (every label one set), the document and its virtual font.
int ExportReference(const std::string& dir) {
  CreateDirectoryA(dir.c_str(), nullptr);
  std::string text = "600 ljfour\nMF mf \\mode=\nTARGET_DIR .\nERROR_REACTION I\nBEGIN_SOURCE\n";
  for (const std::string* sets : {&kRealSetFonts, &kRealJobFonts, &kRealTreeFonts, &kRealJapaneseFonts})
    for (char ch : *sets)
      if (ch != '\r') text += ch;
  if (!WriteFileText(dir + "\\FONTS.DAT", text) || !WriteFileText(dir + "\\paper.dvi", PaperDvi()) ||
      !WriteFileText(dir + "\\vtest.vf", VtestVf())) {
    std::fprintf(stderr, "kiln_driver: cannot write into %s\n", dir.c_str());
    return 1;
  }
  return 0;
}

struct TestCase {
  const char* name;
  void (*run)(Case&);
};

const TestCase kCases[] = {
    {"first_start_cancel", FirstStartCancel},
    {"first_start_install", FirstStartInstall},
    {"settings_initial_state", SettingsInitialState},
    {"settings_arguments_without_auto_exec", SettingsArgumentsWithoutAutoExec},
    {"settings_system_menu_version_and_close", SettingsSystemMenu},
    {"settings_target_dir_missing", SettingsTargetDirMissing},
    {"settings_priority_and_sets", SettingsPriorityAndSets},
    {"settings_debug_mode", SettingsDebugMode},
    {"uninst", Uninst},
    {"auto_exec_full_command_line", AutoExecFullCommandLine},
    {"auto_exec_resolution_only_summary", AutoExecResolutionOnly},
    {"run_pressed_nothing_to_do", RunPressedNothingToDo},
    {"batch_progress", BatchProgress},
    {"gf_file_one_off", GfFileOneOff},
    {"reaction_stop", ReactionStop},
    {"reaction_confirm_continue", ReactionConfirmContinue},
    {"reaction_confirm_cancel", ReactionConfirmCancel},
    {"reaction_ignore", ReactionIgnore},
    {"stop_cancel_then_ok", StopCancelThenOk},
    {"jobs_three_at_once", JobsThreeAtOnce},
    {"jobs_stop_files_the_running", JobsStopFilesTheRunning},
    {"jobs_zero_one_per_processor", JobsZeroOnePerProcessor},
    {"jobs_failure_filed", JobsFailureFiled},
    {"document_listed_and_chosen", DocumentListedAndChosen},
    {"document_auto_exec", DocumentAutoExec},
    {"document_damaged", DocumentDamaged},
    {"document_without_kpsewhich", DocumentWithoutKpsewhich},
    {"texmf_tree_with_jobs", TexmfTreeWithJobs},
    {"texmf_drive_colon_refused", TexmfDriveColonRefused},
    {"real_font_set_reactions", RealFontSetReactions},
    {"real_jobs_two_console", RealJobsTwoConsole},
    {"real_texmf_tree", RealTexmfTree},
    {"real_document_virtual_font", RealDocumentVirtualFont},
    {"real_japanese_target", RealJapaneseTarget},
};

bool Selected(const char* name) {
  if (options.only.empty()) return true;
  std::string list = "," + options.only + ",";
  return list.find("," + std::string(name) + ",") != std::string::npos;
}

int Usage() {
  std::fprintf(stderr,
               "usage: kiln_driver --kiln PATH --standins DIR --scratch DIR [--shots DIR] "
               "[--only a,b] [--case-dir DIR] [--budget SECONDS] [--tex DIR --reference DIR] "
               "[--list]\n       kiln_driver --export-reference DIR\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  DWORD suiteStart = GetTickCount();
  DWORD budgetMs = 420 * 1000;
  SetConsoleOutputCP(CP_UTF8);
  // A crash ends the process instead of waiting in a debugger; kiln.exe
  // inherits the mode.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--list") {
      for (const TestCase& t : kCases) std::printf("%s\n", t.name);
      return 0;
    }
    if (i + 1 >= argc) return Usage();
    std::string value = argv[++i];
    if (arg == "--kiln")
      options.kiln = value;
    else if (arg == "--standins")
      options.standins = value;
    else if (arg == "--scratch")
      options.scratch = value;
    else if (arg == "--shots")
      options.shots = value;
    else if (arg == "--only")
      options.only = value;
    else if (arg == "--case-dir")
      options.caseDir = value;
    else if (arg == "--tex")
      options.tex = value;
    else if (arg == "--reference")
      options.reference = value;
    else if (arg == "--export-reference")
      return ExportReference(value);
    else if (arg == "--budget")
      budgetMs = std::strtoul(value.c_str(), nullptr, 10) * 1000;
    else
      return Usage();
  }
  if (options.kiln.empty() || options.standins.empty() || options.scratch.empty()) return Usage();
  if (!FileExists(options.kiln)) {
    std::fprintf(stderr, "kiln_driver: %s does not exist\n", options.kiln.c_str());
    return 2;
  }
  // kiln.exe and its children find mf and gftopk on the PATH: the stand-ins
  // or, for the real cases, the programs of --tex (see Prepare).
  char path[32768] = "";
  GetEnvironmentVariableA("PATH", path, sizeof path);
  options.path = path;

  int passed = 0, failed = 0;
  for (const TestCase& t : kCases) {
    if (!Selected(t.name)) continue;
    if (GetTickCount() - suiteStart > budgetMs) {
      ++failed;
      std::printf("[  FAILED  ] %s (not run: the time budget is spent)\n", t.name);
      continue;
    }
    Case c;
    c.name = t.name;
    std::printf("[ RUN      ] %s\n", t.name);
    std::fflush(stdout);
    DWORD start = GetTickCount();
    try {
      t.run(c);
    } catch (const Abort&) {
      // the failure is reported; the clean-up below still runs
    }
    Finish(c);
    DWORD ms = GetTickCount() - start;
    if (c.failures == 0) {
      ++passed;
      std::printf("[       OK ] %s (%lu ms)\n", t.name, ms);
    } else {
      ++failed;
      std::printf("[  FAILED  ] %s (%lu ms)\n", t.name, ms);
    }
    std::fflush(stdout);
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 && passed > 0 ? 0 : 1;
}
