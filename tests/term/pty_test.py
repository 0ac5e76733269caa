#!/usr/bin/env python3
"""Runs the real `kiln` in a pseudo-terminal (and, for the cases without a
terminal, in a session of its own with no terminal at all), with a stand-in
METAFONT and gftopk from fakebin/, and checks what the user sees and what
is left on disk.

Usage: pty_test.py PATH/TO/kiln [unittest arguments]
"""
import fcntl
import os
import pty
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import time
import unittest

KILN = None
FAKEBIN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fakebin")
STOP_QUESTION = "終了しても宜しいですか。"
STOP_NOTICE = "Thread からの停止要求を受信しました"
SUMMARY = "指定されたフォントの生成を完了しました"
PROMPT = "[O]K / [C]キャンセル?"


class PtyRun:
    """kiln on the slave side of a pseudo-terminal, as its controlling tty."""

    def __init__(self, args, cwd, env, columns=100):
        pid, fd = pty.fork()
        if pid == 0:
            try:
                os.chdir(cwd)
                os.execve(KILN, [KILN] + args, env)
            finally:
                os._exit(127)
        self.pid, self.fd = pid, fd
        fcntl.ioctl(fd, termios.TIOCSWINSZ, struct.pack("HHHH", 30, columns, 0, 0))
        self.raw = b""
        self.status = None

    @property
    def text(self):
        return self.raw.decode("utf-8", errors="replace")

    def _read(self, timeout):
        ready, _, _ = select.select([self.fd], [], [], timeout)
        if not ready:
            return True
        try:
            data = os.read(self.fd, 65536)
        except OSError:  # EIO: the child has closed the terminal
            return False
        if not data:
            return False
        self.raw += data
        return True

    def expect(self, needle, timeout=10):
        deadline = time.time() + timeout
        while needle not in self.text:
            if time.time() > deadline or not self._read(0.1) and needle not in self.text:
                raise AssertionError("%r not seen; output so far:\n%s" % (needle, self.text))

    def send(self, data):
        os.write(self.fd, data)

    def wait(self, timeout=30):
        deadline = time.time() + timeout
        while time.time() < deadline and self._read(0.1):
            pass
        _, status = os.waitpid(self.pid, 0)
        os.close(self.fd)
        self.status = os.waitstatus_to_exitcode(status)
        return self.status


class KilnTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kiln-term-")
        self.pk = os.path.join(self.dir, "pk")
        os.mkdir(self.pk)
        self.definition = os.path.join(self.dir, "FONTS.DAT")
        self.write_definition("f 1 2 3 4")
        self.env = {
            "PATH": FAKEBIN + os.pathsep + os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": self.dir,
            "XDG_CONFIG_HOME": os.path.join(self.dir, "config"),
            "TERM": "xterm",
            # The specified (Japanese) texts are checked; other locales show English.
            "LANG": "ja_JP.UTF-8",
            "FAKE_MF_SLEEP": "0",
        }

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def write_definition(self, fonts, reaction="S"):
        with open(self.definition, "w") as f:
            f.write("600 fake600\n300 fake300\nMF mf \\mode=\nTARGET_DIR %s\n"
                    "ERROR_REACTION %s\nBEGIN_SOURCE\none:\n%s\ntwo:\ng 1\n"
                    % (self.pk, reaction, fonts))

    def pty(self, args, sleep="0", **extra):
        env = dict(self.env, FAKE_MF_SLEEP=sleep, **extra)
        return PtyRun(["--definition", self.definition] + args, self.dir, env)

    def detached(self, args, sleep="0", **extra):
        """kiln in a session of its own, without any terminal."""
        env = dict(self.env, FAKE_MF_SLEEP=sleep, **extra)
        return subprocess.Popen([KILN] + args, cwd=self.dir, env=env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, start_new_session=True)

    def built(self):
        return sorted(n for n in os.listdir(self.pk) if n.endswith("pk"))

    def filed(self, name):
        return (os.path.exists(os.path.join(self.pk, "tfm", name + ".tfm")) and
                os.path.exists(os.path.join(self.pk, "log", name + ".log")) and
                not os.path.exists(os.path.join(self.pk, name + ".tfm")))


class ProgressDisplay(KilnTest):
    def test_block_is_redrawn_in_place_and_every_font_built(self):
        run = self.pty(["600", "one"], sleep="0.1")
        self.assertEqual(0, run.wait())
        self.assertIn("\r\x1b[3A", run.text)  # back to the block's first line
        self.assertIn("\x1b[K", run.text)
        self.assertIn("100%(4/4) 生成中[one]", run.text)
        self.assertIn("[" + "#" * 50 + "] 4/4", run.text)
        self.assertIn("残り0秒", run.text)
        self.assertEqual(["f1.600pk", "f2.600pk", "f3.600pk", "f4.600pk"], self.built())
        self.assertTrue(all(self.filed("f%d" % i) for i in range(1, 5)))
        # A resolution and font sets from the command line: no summary.
        self.assertNotIn(SUMMARY, run.text)

    def test_lines_are_cut_to_the_terminal_width(self):
        long_fonts = "f" + "x" * 30 + " 1"
        self.write_definition(long_fonts)
        run = PtyRun(["--definition", self.definition, "600", "one"], self.dir,
                     self.env, columns=30)
        self.assertEqual(0, run.wait())
        for line in run.text.replace("\r", "\n").split("\n"):
            plain = line.replace("\x1b[K", "").replace("\x1b[J", "").replace("\x1b[3A", "")
            if "mf \\mode" in plain:
                self.assertLessEqual(len(plain), 29, plain)

    def test_a_failed_font_shows_the_tail_of_its_output(self):
        run = self.pty(["600", "one"], FAKE_MF_FAIL="f2")
        self.assertEqual(1, run.wait())
        self.assertIn("! I can't find file `f2.mf'.", run.text)
        self.assertIn("f2.601gf が\r\n見つかりませんでした。", run.text)
        self.assertEqual(["f1.600pk"], self.built())  # 'S' stops the batch

    def test_detailed_view_shows_the_output_as_it_comes(self):
        run = self.pty(["--detailed", "600", "one"])
        self.assertEqual(0, run.wait())
        self.assertIn("This is fake METAFONT, running f3", run.text)
        self.assertIn("$ gftopk f3.600gf f3.600pk", run.text)


class CtrlC(KilnTest):
    def interrupt_first_font(self, run):
        run.expect("(1/4)")
        # The state line comes just before METAFONT starts; a Ctrl-C in the
        # instant between the child's fork and its own process group would
        # still reach it, which is not what is tested here.
        time.sleep(0.4)
        run.send(b"\x03")

    def test_cancel_lets_the_batch_go_on(self):
        run = self.pty(["600", "one"], sleep="1")
        self.interrupt_first_font(run)
        run.expect(PROMPT)
        self.assertIn(STOP_QUESTION, run.text)
        run.send(b"c")
        self.assertEqual(0, run.wait())
        self.assertNotIn(STOP_NOTICE, run.text)
        self.assertEqual(4, len(self.built()))

    def test_ok_stops_after_the_running_font(self):
        run = self.pty(["600", "one"], sleep="1.5")
        self.interrupt_first_font(run)
        run.expect(PROMPT)
        started = time.time()
        run.send(b"o")
        self.assertEqual(1, run.wait())
        self.assertLess(time.time() - started, 5)
        self.assertIn(STOP_NOTICE, run.text)
        # The running font was finished and filed; nothing after it began.
        self.assertEqual(["f1.600pk"], self.built())
        self.assertTrue(self.filed("f1"))
        self.assertFalse(os.path.exists(os.path.join(self.pk, "f1.600gf")))
        # A single set with a resolution: the summary is not due.
        self.assertNotIn(SUMMARY, run.text)
        self.assertLess(run.text.index(STOP_NOTICE), len(run.text))

    def test_sigterm_while_asking_stops_without_an_answer(self):
        run = self.pty(["600", "one"], sleep="1.5")
        self.interrupt_first_font(run)
        run.expect(PROMPT)
        os.kill(run.pid, signal.SIGTERM)
        self.assertEqual(1, run.wait())
        self.assertIn(STOP_NOTICE, run.text)
        self.assertEqual(["f1.600pk"], self.built())

    def test_question_holds_new_starts_of_parallel_jobs(self):
        run = self.pty(["-j", "2", "600", "one"], sleep="0.5")
        run.expect("生成中: f1 600, f2 600")
        time.sleep(0.2)
        run.send(b"\x03")
        run.expect(PROMPT)
        # The two running fonts end while the question is open; no third
        # one starts until it is answered.
        deadline = time.time() + 10
        while len(self.built()) < 2 and time.time() < deadline:
            run._read(0.1)
        run._read(1.0)
        self.assertEqual(["f1.600pk", "f2.600pk"], self.built())
        run.send(b"c")
        self.assertEqual(0, run.wait())
        self.assertEqual(4, len(self.built()))
        self.assertTrue(all(self.filed("f%d" % i) for i in range(1, 5)))
        self.assertEqual([], [n for n in os.listdir(self.pk) if n.startswith(".kiln")])

    def test_question_left_open_ends_with_the_batch(self):
        run = self.pty(["600", "one"], sleep="0.3")
        self.interrupt_first_font(run)
        run.expect(PROMPT)
        self.assertEqual(0, run.wait())
        self.assertNotIn(STOP_NOTICE, run.text)
        self.assertEqual(4, len(self.built()))


class WithoutTerminal(KilnTest):
    def stop_with(self, signo):
        proc = self.detached(["--definition", self.definition, "600"], sleep="1.5")
        for line in proc.stdout:
            if b"(1/5)" in line:
                break
        proc.send_signal(signo)
        out, err = proc.communicate(timeout=20)
        err = err.decode()
        self.assertEqual(1, proc.returncode)
        self.assertIn(STOP_NOTICE, err)
        self.assertNotIn(STOP_QUESTION, err)
        # A resolution alone: the summary is due, and says what was left.
        self.assertIn("指定されたフォントをすべて生成する前に停止しました\n", err)
        self.assertIn("停止したため生成しなかったフォント: 4 個\n", err)
        self.assertEqual(["f1.600pk"], self.built())
        self.assertTrue(self.filed("f1"))
        return err

    def test_sigterm_stops_without_a_question(self):
        self.assertIn("SIGTERM", self.stop_with(signal.SIGTERM))

    def test_sigint_stops_without_a_question(self):
        self.assertIn("SIGINT", self.stop_with(signal.SIGINT))

    def test_settings_that_need_the_user_end_with_a_reason(self):
        proc = self.detached(["--definition", self.definition])
        out, err = proc.communicate(timeout=20)
        self.assertEqual(1, proc.returncode)
        self.assertIn("RESOLUTION が指定されていません", err.decode())
        self.assertEqual([], self.built())

    def test_a_question_takes_cancel(self):
        proc = self.detached(["--definition", self.definition, "--priority", "idle",
                              "600", "one"])
        out, err = proc.communicate(timeout=20)
        err = err.decode()
        self.assertEqual(1, proc.returncode)
        self.assertIn("(応答する端末がありません: キャンセル)", err)
        self.assertIn("設定が確定されませんでした", err)
        self.assertEqual([], self.built())

    def test_plain_lines_not_one_per_count(self):
        proc = self.detached(["--definition", self.definition, "600", "one"])
        out, err = proc.communicate(timeout=20)
        self.assertEqual(0, proc.returncode, err.decode())
        lines = out.decode().splitlines()
        self.assertEqual("生成するフォントを検索中     4", lines[0])
        # The count, two lines per font, and how the batch ended.
        self.assertEqual(10, len(lines))
        self.assertEqual("100%(4/4) 完了", lines[-1])
        self.assertNotIn("\x1b", out.decode())


class SettingsScreen(KilnTest):
    def test_screen_changes_settings_and_runs(self):
        open(os.path.join(self.pk, "g1.300pk"), "w").close()
        run = self.pty([])
        run.expect("[R]/Enter")
        self.assertIn("300dpi fake300", run.text)  # first of the sorted modes
        run.send(b"o")  # overwrite
        run.expect("[x] フォントを上書きする")
        run.send(b"d")
        run.expect("削除するフォントセット")
        run.send(b"1\n")  # one goes; two stays
        run.expect("生成フォントセット: two")
        run.send(b"r")
        self.assertEqual(0, run.wait())
        self.assertIn(SUMMARY, run.text)
        self.assertIn("トータル生成フォント数は 1 なので", run.text)

    def test_exit_ends_without_a_run(self):
        run = self.pty([])
        run.expect("[R]/Enter")
        run.send(b"x")
        self.assertEqual(1, run.wait())
        self.assertEqual([], self.built())


class DefinitionFile(KilnTest):
    def test_install_then_run_then_uninstall_declined_without_terminal(self):
        proc = subprocess.run([KILN, "--install", "FONTS.DAT"], cwd=self.dir, env=self.env,
                              stdin=subprocess.DEVNULL, capture_output=True,
                              start_new_session=True)
        self.assertEqual(0, proc.returncode, proc.stderr.decode())
        key = os.path.join(self.dir, "config", "fontkiln", "kiln")
        with open(key) as f:
            self.assertIn(self.definition, f.read())  # recorded as a full path
        listing = subprocess.run([KILN, "--dry-run", "600", "two"], cwd="/", env=self.env,
                                 stdin=subprocess.DEVNULL, capture_output=True,
                                 start_new_session=True)
        self.assertEqual(0, listing.returncode, listing.stderr.decode())
        self.assertEqual("g1\t600\tmf \\mode=fake600; nonstopmode; mag=1; input g1\n",
                         listing.stdout.decode())
        uninstall = subprocess.run([KILN, "--uninstall"], cwd=self.dir, env=self.env,
                                   stdin=subprocess.DEVNULL, capture_output=True,
                                   start_new_session=True)
        self.assertEqual(1, uninstall.returncode)
        self.assertTrue(os.path.exists(key))

    def test_uninstall_asks_on_the_terminal(self):
        subprocess.run([KILN, "--install", self.definition], env=self.env,
                       stdin=subprocess.DEVNULL, capture_output=True, check=True,
                       start_new_session=True)
        run = PtyRun(["--uninstall"], self.dir, self.env)
        run.expect(PROMPT)
        run.send(b"o")
        self.assertEqual(0, run.wait())
        self.assertIn("「Fontkiln」に関するレジストリは全て削除しました", run.text)

    def test_first_start_prompts_for_the_path(self):
        run = PtyRun(["600", "two"], self.dir, self.env)
        run.expect("インストール作業を行いますか。")
        run.send(b"o")
        run.expect("のパス")
        run.send(b"FONTS.DAT\n")
        self.assertEqual(0, run.wait())
        self.assertEqual(["g1.600pk"], self.built())

    def test_dry_run_leaves_out_existing_fonts_and_touches_nothing(self):
        open(os.path.join(self.pk, "f2.600pk"), "w").close()
        before = sorted(os.listdir(self.pk))
        proc = self.detached(["--dry-run", "--definition", self.definition, "600", "one"])
        out, err = proc.communicate(timeout=20)
        self.assertEqual(0, proc.returncode, err.decode())
        self.assertEqual(["f1", "f3", "f4"], [l.split("\t")[0] for l in out.decode().splitlines()])
        self.assertEqual(before, sorted(os.listdir(self.pk)))

    def test_usage_error_exits_2(self):
        proc = subprocess.run([KILN, "--reaction", "X"], capture_output=True,
                              stdin=subprocess.DEVNULL, start_new_session=True)
        self.assertEqual(2, proc.returncode)
        self.assertIn("--reaction", proc.stderr.decode())


class Languages(KilnTest):
    """The same runs under a Japanese and an English locale: the specified
    texts in the first, not one Japanese character in the second."""
    JAPANESE = re.compile("[\u3000-\u30ff\u4e00-\u9fff\uff00-\uffef]")

    def runs(self, language):
        self.write_definition("f 1 2", reaction="C")
        texts = []
        for args in (["--definition", self.definition, "600"],   # a failure, the summary
                     ["--definition", os.path.join(self.dir, "gone.dat"), "600"],
                     ["600"]):                                     # the key file names it
            proc = self.detached(args, FAKE_MF_FAIL="f2", LANG=language)
            out, err = proc.communicate(timeout=20)
            self.assertEqual(1, proc.returncode)
            texts.append(out.decode() + err.decode())
            shutil.rmtree(self.pk)
            os.mkdir(self.pk)
            os.makedirs(self.env["XDG_CONFIG_HOME"] + "/fontkiln", exist_ok=True)
            with open(self.env["XDG_CONFIG_HOME"] + "/fontkiln/kiln", "w") as f:
                f.write("DataFilePath=%s/gone.dat\n" % self.dir)
        return texts

    def test_japanese_locale_shows_the_specified_texts(self):
        batch, missing, recorded = self.runs("ja_JP.UTF-8")
        # A failed font: the summary says so instead of "完了しました".
        for text in ("f2.601gf が\n見つかりませんでした。", "33%(1/3) 生成中[one]",
                     "フォントの生成に失敗しました。処理を継続する場合は",
                     "指定されたフォントの一部は生成できませんでした",
                     "生成したフォント: 1 個, 失敗したフォント: 1 個",
                     "トータル生成フォント数は 2 なので"):
            self.assertIn(text, batch)
        self.assertNotIn(SUMMARY, batch)
        self.assertIn("kiln: 定義ファイル %s/gone.dat は存在しません" % self.dir, missing)
        self.assertIn("レジストリから得られたファイル(%s/gone.dat)が実在しません" % self.dir,
                      recorded)
        # the product, not the Windows title
        self.assertIn("Fontkiln\n指定されたフォントの一部は生成できませんでした", batch)
        self.assertIn("Fontkiln\n", recorded)
        self.assertNotIn("WIN32", recorded)

    def test_english_locale_shows_no_japanese(self):
        texts = self.runs("C.UTF-8")
        for text in texts:
            self.assertIsNone(self.JAPANESE.search(text), text)
        batch, missing, recorded = texts
        for text in ("f2.601gf:\nMETAFONT seems to have failed", "33% (1/3) building [one]",
                     "A font could not be built.", "Not every chosen font could be built",
                     "Fonts built: 1, failed: 1.", "s in all for 2 fonts"):
            self.assertIn(text, batch)
        self.assertIn("kiln: the definition file %s/gone.dat does not exist" % self.dir, missing)
        self.assertIn("Fontkiln\nThe definition file recorded in the key file (%s/gone.dat)"
                      % self.dir, recorded)


if __name__ == "__main__":
    KILN = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
