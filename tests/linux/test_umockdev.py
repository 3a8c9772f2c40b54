"""varnokctl on a fake udev/sysfs tree (umockdev): one 8-port "Varnok Plus"
adapter behind its hub (configuration chip at hub port 1, two quad chips at
ports 2 and 3), a two-interface FTDI device of another maker, a plain
FT232R, and a tty that is not FTDI. The configuration interface's tty is a
pseudo-terminal answered by the adapter simulator.

Run under umockdev-wrapper: test_umockdev.py VARNOKCTL ADAPTER."""
import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import time
import unittest

import gi

gi.require_version("UMockdev", "1.0")
from gi.repository import UMockdev  # noqa: E402

VARNOKCTL, ADAPTER = sys.argv[1], sys.argv[2]
del sys.argv[1:3]

PCI = "/devices/pci0000:00/0000:00:14.0/usb1"


def usb_device(path, vendor, product_id, product, serial, interfaces, devnum):
    return (f"P: {PCI}/{path}\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n"
            f"A: idVendor={vendor}\nA: idProduct={product_id}\nA: product={product}\n"
            f"A: serial={serial}\nA: bNumInterfaces= {interfaces}\nA: busnum=1\n"
            f"A: devnum={devnum}\n")


def driver_link(devpath, bus):
    # udev's DRIVER key reads the driver link, as the kernel makes it.
    return f"L: driver={'../' * devpath.count('/')}bus/{bus}/drivers/ftdi_sio\n"


def tty_devices(path, interface, tty):
    intf = f"{PCI}/{path}/{path}:1.{interface}"
    return [
        f"P: {intf}\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n"
        f"A: bInterfaceNumber={interface:02x}\n" + driver_link(intf, "usb"),
        f"P: {intf}/{tty}\nE: SUBSYSTEM=usb-serial\nE: DRIVER=ftdi_sio\nA: latency_timer=16\n"
        + driver_link(f"{intf}/{tty}", "usb-serial"),
        f"P: {intf}/{tty}/tty/{tty}\nN: {tty}\nE: DEVNAME=/dev/{tty}\nE: SUBSYSTEM=tty\n"
        f"L: device=../../../{tty}\n",
    ]


def build_tree(bed):
    records = [
        usb_device("1-1", "0424", "2514", "USB2514B", "", 1, 2),  # the adapter's hub
        usb_device("1-1/1-1.1", "0403", "6015", "Varnok Plus - Config", "VPC001", 1, 3),
        usb_device("1-1/1-1.2", "0403", "6011", "Varnok Plus", "VPA001", 4, 4),
        usb_device("1-1/1-1.3", "0403", "6011", "Varnok Plus", "VPA002", 4, 5),
        usb_device("1-2", "0403", "6010", "Other Maker Box", "OMB77", 2, 6),
        usb_device("1-3", "0403", "6001", "FT232R USB UART", "A50285BI", 1, 7),
        usb_device("1-4", "2341", "0043", "Arduino Uno", "85739", 1, 8),
    ]
    records += tty_devices("1-1/1-1.1", 0, "ttyUSB0")
    tty = 1
    for chip in ("1-1/1-1.2", "1-1/1-1.3"):
        for interface in range(4):
            records += tty_devices(chip, interface, f"ttyUSB{tty}")
            tty += 1
    records += tty_devices("1-2", 0, "ttyUSB9") + tty_devices("1-2", 1, "ttyUSB10")
    records += tty_devices("1-3", 0, "ttyUSB11")
    intf = f"{PCI}/1-4/1-4:1.0"
    records += [f"P: {intf}\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nA: bInterfaceNumber=00\n",
                f"P: {intf}/tty/ttyACM0\nN: ttyACM0\nE: DEVNAME=/dev/ttyACM0\nE: SUBSYSTEM=tty\n"]
    for r in records:
        bed.add_from_string(r)


def port_dir(tty):
    for path, _, files in os.walk(BED.get_sys_dir() + "/devices"):
        if path.endswith("/" + tty) and "latency_timer" in files:
            return path
    raise AssertionError(f"no sysfs directory for {tty}")


def latency(tty):
    with open(port_dir(tty) + "/latency_timer") as f:
        return f.read().strip()


def run(*args, env=None):
    # The testbed is known to the C environment only, not to os.environ.
    env = {**os.environ, "UMOCKDEV_DIR": BED.get_root_dir(), **(env or {})}
    p = subprocess.run([VARNOKCTL, *args], capture_output=True, text=True, timeout=60, env=env)
    return p.returncode, p.stdout, p.stderr


BED = UMockdev.Testbed.new()
build_tree(BED)
LOGDIR = tempfile.mkdtemp(prefix="varnokctl-umockdev-")
ADAPTER_LOG = os.path.join(LOGDIR, "adapter.log")
master = BED.get_dev_fd("/dev/ttyUSB0")
SIM = subprocess.Popen([ADAPTER, "--family", "config", "--ports", "8", "--name", "Varnok Plus 8",
                        "--log", ADAPTER_LOG, "--master-fd", str(master), "--rearm"],
                       pass_fds=[master], stdout=subprocess.PIPE, text=True)
SIM.stdout.readline()  # the terminal's path: the simulator is ready


class ListTest(unittest.TestCase):
    def test_list_text_and_json(self):
        rc, out, err = run("list")
        self.assertEqual(rc, 0, err)
        lines = out.splitlines()
        self.assertEqual(lines[0].split(), ["TTY", "SERIAL", "INTERFACE", "LATENCY", "PERSISTED",
                                            "DESCRIPTION"])
        self.assertEqual(len(lines), 13)  # header + 12 FTDI ttys; the Arduino is not listed
        self.assertEqual(lines[1].split(), ["ttyUSB0", "VPC001A", "A", "16", "-", "Varnok", "Plus",
                                            "-", "Config"])
        rc, out, err = run("--json", "list")
        self.assertEqual(rc, 0, err)
        ports = {p["port"]: p for p in json.loads(out)}
        self.assertEqual(len(ports), 12)
        # The topology gives the locations the mode tool relates: the
        # configuration chip at hub port 1, quad chips at ports 2 and 3.
        self.assertEqual(ports["ttyUSB0"]["locationId"], "0x00000111")
        self.assertEqual(ports["ttyUSB1"]["locationId"], "0x00001121")
        self.assertEqual(ports["ttyUSB8"]["locationId"], "0x00001134")
        self.assertEqual(ports["ttyUSB6"]["description"], "Varnok Plus B")
        self.assertEqual(ports["ttyUSB6"]["serial"], "VPA002B")
        self.assertEqual(ports["ttyUSB6"]["interface"], "B")
        self.assertEqual(ports["ttyUSB10"]["deviceId"], "0x04036010")
        self.assertEqual(ports["ttyUSB11"]["description"], "FT232R USB UART")
        self.assertEqual(ports["ttyUSB11"]["settings"]["latencyTimer"], 16)


class LatencyTest(unittest.TestCase):
    def setUp(self):
        for n in range(12):
            with open(port_dir(f"ttyUSB{n}") + "/latency_timer", "w") as f:
                f.write("16\n")

    def test_set_one_port_by_name_and_by_serial(self):
        rc, out, err = run("set", "/dev/ttyUSB3", "latency-timer=1")
        self.assertEqual((rc, err), (0, ""))
        self.assertIn("ttyUSB3 latencyTimer 16 -> 1", out)
        self.assertIn("until the device is unplugged", out)
        self.assertEqual(latency("ttyUSB3"), "1")
        self.assertEqual(latency("ttyUSB2"), "16")
        rc, out, err = run("set", "serial:VPA002c", "latency-timer=4")
        self.assertEqual(rc, 0, err)
        self.assertEqual(latency("ttyUSB7"), "4")

    def test_set_all_dry_run_writes_nothing(self):
        rc, out, _ = run("--dry-run", "set", "--all", "latency-timer=2")
        self.assertEqual(rc, 0)
        self.assertEqual(out.count("latencyTimer 16 -> 2"), 12)
        self.assertEqual({latency(f"ttyUSB{n}") for n in range(12)}, {"16"})
        rc, _, _ = run("set", "--all", "latency-timer=2")
        self.assertEqual(rc, 0)
        self.assertEqual({latency(f"ttyUSB{n}") for n in range(12)}, {"2"})

    def test_bad_input_changes_nothing(self):
        cases = [
            (["set", "ttyUSB42", "latency-timer=1"], 3, "ttyUSB42: no such FTDI serial port"),
            (["set", "ttyACM0", "latency-timer=1"], 3, "ttyACM0 is not an FTDI serial port"),
            (["set", "ttyUSB1", "latency-timer=0"], 4, "out of range"),
            (["set", "ttyUSB1", "latency-timer=256"], 4, "out of range"),
            (["set", "ttyUSB1", "polling-period=1"], 2, "only latency-timer"),
            (["set", "COM3", "latency-timer=1"], 2, "is not a port"),
        ]
        for args, status, message in cases:
            with self.subTest(args=args):
                rc, out, err = run(*args)
                self.assertEqual(rc, status, err)
                self.assertIn(message, err)
        self.assertEqual({latency(f"ttyUSB{n}") for n in range(12)}, {"16"})

    @unittest.skipUnless(os.geteuid() == 0, "needs root to drop to another user")
    def test_no_permission_on_latency_timer(self):
        os.chmod(port_dir("ttyUSB1") + "/latency_timer", 0o444)
        os.chmod(BED.get_root_dir(), 0o755)  # the testbed itself is private
        try:
            env = {**os.environ, "UMOCKDEV_DIR": BED.get_root_dir()}
            p = subprocess.run(["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                VARNOKCTL, "set", "ttyUSB1", "latency-timer=1"],
                               capture_output=True, text=True, timeout=60, env=env)
        finally:
            os.chmod(port_dir("ttyUSB1") + "/latency_timer", 0o644)
            os.chmod(BED.get_root_dir(), 0o700)
        if "could not be read" in p.stderr:
            self.skipTest("the fake tree is not readable by another user")
        self.assertEqual(p.returncode, 1, p.stderr)
        self.assertIn("ttyUSB1: latency_timer could not be written: Permission denied "
                      "(run as root, for example with sudo)", p.stderr)
        self.assertIn("Nothing was changed.", p.stderr)
        self.assertEqual(latency("ttyUSB1"), "16")


HERE = os.path.dirname(os.path.abspath(__file__))


def schema_problems(kind, text):
    """What Debian's jsonschema finds wrong with `text` as the schema's
    $defs/`kind` (docs/varnokctl.schema.json)."""
    import jsonschema  # python3-jsonschema (tools/setup.sh)
    with open(os.path.join(HERE, "..", "..", "docs", "varnokctl.schema.json")) as f:
        schema = json.load(f)
    one = {"$ref": f"#/$defs/{kind}", "$defs": schema["$defs"]}
    validator = jsonschema.validators.validator_for(schema)(one)
    return [f"/{'/'.join(map(str, e.absolute_path))}: {e.message}"
            for e in validator.iter_errors(json.loads(text))]


class JsonTest(unittest.TestCase):
    """--json on Linux: every output as the schema describes it, and the
    result object's changed/unchanged pair for set and modes set."""

    def setUp(self):
        for n in range(12):
            with open(port_dir(f"ttyUSB{n}") + "/latency_timer", "w") as f:
                f.write("16\n")

    def json_of(self, kind, *args, status=0, env=None):
        rc, out, err = run("--json", *args, env=env)
        self.assertEqual(rc, status, err)
        self.assertEqual(schema_problems(kind, out), [], out)
        return json.loads(out)

    def test_outputs_match_the_schema(self):
        ports = self.json_of("portList", "list")
        # Only what Linux has: no Windows settings, not even as null.
        self.assertEqual({k for p in ports for k in p["settings"]}, {"latencyTimer"})
        self.assertFalse(any("bufferedWrites" in p or "baudAliases" in p for p in ports))
        self.assertTrue(self.json_of("version", "--version")["version"])
        adapters = self.json_of("adapterList", "modes", "list")
        self.assertEqual([p["number"] for p in adapters[0]["ports"]], list(range(1, 9)))
        self.assertEqual(self.json_of("writeResult", "--dry-run", "set", "--all",
                                      "latency-timer=3")["changed"], True)
        # Stopped before writing: the object says nothing changed, and why.
        missing = self.json_of("writeResult", "set", "ttyUSB42", "latency-timer=1", status=3)
        self.assertEqual(missing["changed"], False)
        self.assertIn("ttyUSB42", missing["warnings"][0])

    def test_set_says_whether_it_changed_anything(self):
        dry = self.json_of("writeResult", "--dry-run", "set", "ttyUSB11", "latency-timer=1")
        self.assertEqual(latency("ttyUSB11"), "16")
        done = self.json_of("writeResult", "set", "ttyUSB11", "latency-timer=1")
        self.assertEqual(latency("ttyUSB11"), "1")
        change = [{"port": "ttyUSB11", "setting": "latencyTimer", "from": "16", "to": "1"}]
        self.assertEqual((dry["changed"], dry["changes"]), (True, change))
        self.assertEqual((done["changed"], done["changes"]), (True, change))
        again = self.json_of("writeResult", "set", "ttyUSB11", "latency-timer=1")
        self.assertEqual((again["changed"], again["changes"]), (False, []))

    def test_import_says_whether_it_changed_anything(self):
        rules = tempfile.mkdtemp(prefix="rules-")
        os.makedirs(rules + "/etc/udev/rules.d")
        env = {"VARNOKCTL_RULES_ROOT": rules}
        profile = os.path.join(rules, "profile.json")
        with open(profile, "w") as f:
            json.dump({"format": "varnokplus-settings", "version": 1,
                       "ports": [{"match": "*", "settings": {"latencyTimer": 4,
                                                            "minReadTimeout": 9}}]}, f)
        done = self.json_of("writeResult", "import", profile, "--persist", env=env)
        self.assertEqual(done["changed"], True)
        self.assertIn({"port": "ttyUSB3", "setting": "latencyTimer", "from": "16", "to": "4"},
                      done["changes"])
        self.assertIn("persisted.latencyTimer", {c["setting"] for c in done["changes"]})
        self.assertTrue(any("minReadTimeout" in w for w in done["warnings"]), done)
        again = self.json_of("writeResult", "import", profile, "--persist", env=env)
        self.assertEqual((again["changed"], again["changes"]), (False, []))

    def test_modes_set_says_whether_it_changed_anything(self):
        port = self.json_of("adapterList", "modes", "list")[0]["ports"][2]
        other = "rs232" if port["modeName"] != "rs232" else "rs422"
        try:
            done = self.json_of("writeResult", "modes", "set", "ttyUSB0", "3", other)
            self.assertEqual(done["changed"], True)
            self.assertEqual(done["changes"][0]["port"], port["port"])
            again = self.json_of("writeResult", "modes", "set", "ttyUSB0", "3", other)
            self.assertEqual((again["changed"], again["changes"]), (False, []))
        finally:
            run("modes", "set", "ttyUSB0", "3", str(port["mode"]))

    def test_all_without_ports_is_not_an_error(self):
        empty = tempfile.mkdtemp(prefix="no-devices-")
        os.makedirs(empty + "/sys/devices")
        os.makedirs(empty + "/dev")
        result = self.json_of("writeResult", "set", "--all", "latency-timer=1",
                              env={"UMOCKDEV_DIR": empty})
        self.assertEqual(result["changed"], False)
        rc, out, err = run("set", "--all", "latency-timer=1", env={"UMOCKDEV_DIR": empty})
        self.assertEqual(rc, 0, err)
        self.assertIn("--all: no FTDI serial port is attached", err)


def deploying_playbook(name):
    """The playbook `name` as docs/DEPLOYING.md gives it: the yaml block
    after the first line that names it."""
    with open(os.path.join(HERE, "..", "..", "docs", "DEPLOYING.md")) as f:
        text = f.read()
    after = text[text.index(f"`{name}`"):]
    return after[after.index("```yaml\n") + 8:after.index("\n```", after.index("```yaml"))] + "\n"


class AnsibleTest(unittest.TestCase):
    """The Linux recipe of docs/DEPLOYING.md run by a real ansible-playbook
    (connection local) on the fake tree: the first run changes the ports,
    the second finds them right."""

    def setUp(self):
        for n in range(12):
            with open(port_dir(f"ttyUSB{n}") + "/latency_timer", "w") as f:
                f.write("16\n")
        self.work = tempfile.mkdtemp(prefix="ansible-")
        os.makedirs(self.work + "/rules/etc/udev/rules.d")
        with open(self.work + "/varnok-latency.yml", "w") as f:
            f.write(deploying_playbook("varnok-latency.yml"))

    def play(self):
        env = {**os.environ, "UMOCKDEV_DIR": BED.get_root_dir(),
               "VARNOKCTL_RULES_ROOT": self.work + "/rules", "HOME": self.work,
               "ANSIBLE_LOCAL_TEMP": self.work + "/tmp", "ANSIBLE_REMOTE_TMP": self.work + "/tmp",
               "ANSIBLE_NOCOLOR": "1", "ANSIBLE_STDOUT_CALLBACK": "default"}
        p = subprocess.run(["ansible-playbook", "-i", "localhost,", "-c", "local",
                            "-e", f"varnokctl={VARNOKCTL}", "-e", "ansible_become=false",
                            "-e", "ansible_python_interpreter=/usr/bin/python3",
                            self.work + "/varnok-latency.yml"],
                           capture_output=True, text=True, timeout=240, env=env)
        self.assertEqual(p.returncode, 0, p.stdout + p.stderr)
        recap = re.search(r"localhost\s*:\s*ok=(\d+)\s+changed=(\d+)\s+unreachable=0\s+failed=0",
                          p.stdout)
        self.assertIsNotNone(recap, p.stdout)
        return int(recap.group(2))

    def test_first_run_changes_second_is_ok(self):
        self.assertEqual(self.play(), 1)
        self.assertEqual({latency(f"ttyUSB{n}") for n in range(12)}, {"1"})
        self.assertEqual(len(os.listdir(self.work + "/rules/etc/udev/rules.d")), 12)
        self.assertEqual(self.play(), 0)


UDEVADM = os.environ.get("UDEVADM", "")


def udev_add(ttys, rules_dir):
    """Runs Debian's `udevadm test --action=add` on the usb-serial device of
    each tty, in a private mount namespace whose rule folders hold only the
    files of `rules_dir`. Returns udevadm's output."""
    empty = tempfile.mkdtemp(prefix="no-rules-")
    script = (f"mount -t tmpfs none /run && mkdir -p /run/udev/rules.d && "
              f"cp {rules_dir}/* /run/udev/rules.d/ && "
              f"for d in /etc/udev/rules.d /usr/lib/udev/rules.d /lib/udev/rules.d "
              f"/usr/local/lib/udev/rules.d; do [ ! -d $d ] || mount --bind {empty} $d; done && "
              f"for d in \"$@\"; do {UDEVADM} test --action=add \"$d\" || exit 1; done")
    paths = [port_dir(t)[len(BED.get_root_dir()):] for t in ttys]
    env = {**os.environ, "UMOCKDEV_DIR": BED.get_root_dir()}
    p = subprocess.run(["unshare", "-m", "sh", "-c", script, "sh", *paths], env=env,
                       capture_output=True, text=True, timeout=120)
    if p.returncode != 0:
        raise AssertionError(f"udevadm test failed: {p.stdout}{p.stderr}")
    return p.stdout + p.stderr


def rule_files(root):
    """The rule files under `root`/etc/udev/rules.d by name, with their text."""
    folder = root + "/etc/udev/rules.d"
    files = {}
    for name in os.listdir(folder):
        with open(os.path.join(folder, name), encoding="utf-8", errors="replace") as f:
            files[name] = f.read()
    return files


def check_rule_lines(test, files):
    """Every line of the rule files is a list of KEY{attr}OP"value" pairs of
    the keys a latency rule needs, with a match among them: nothing runs,
    imports or names a program."""
    pair = re.compile(r'([A-Z]+)(\{[a-zA-Z0-9_]+\})?(==|!=|=)"([^"\\]*)"(, |$)')
    for name, text in files.items():
        for line in text.splitlines():
            if line.startswith("#"):
                continue
            with test.subTest(file=name, line=line):
                pairs = list(pair.finditer(line))
                test.assertEqual("".join(m.group(0) for m in pairs), line)
                test.assertLessEqual({m.group(1) for m in pairs},
                                     {"ACTION", "SUBSYSTEM", "DRIVER", "ATTRS", "ENV", "ATTR"})
                test.assertIn("==", {m.group(3) for m in pairs})


def add_ftdi_device(path, serial, tty, devnum):
    """A one-port FT232R at `path` whose serial may hold any text."""
    BED.add_from_string(usb_device(path, "0403", "6001", "FT232R USB UART", "x", 1, devnum))
    BED.set_attribute(f"/sys{PCI}/{path}", "serial", serial)
    for record in tty_devices(path, 0, tty):
        BED.add_from_string(record)
    return f"/sys{PCI}/{path}"


class RuleFolderTest(unittest.TestCase):
    """A rules folder of each test's own, the FTDI ports of the tree and the
    devices a class adds (`added`, removed after it) set to 16 ms."""

    added = []
    extra_ttys = []

    @classmethod
    def tearDownClass(cls):
        for path in cls.added:
            BED.remove_device(path)

    def setUp(self):
        self.rules = tempfile.mkdtemp(prefix="rules-")
        os.makedirs(self.rules + "/etc/udev/rules.d")
        self.env = {"VARNOKCTL_RULES_ROOT": self.rules}
        self.ttys = [f"ttyUSB{n}" for n in range(12)] + list(self.extra_ttys)
        self.set_all("16\n")

    def set_all(self, text):
        for tty in self.ttys:
            with open(port_dir(tty) + "/latency_timer", "w") as f:
                f.write(text)


@unittest.skipUnless(os.geteuid() == 0 and UDEVADM, "needs root and Debian's udevadm")
class PersistTest(RuleFolderTest):
    """--persist judged by udev itself: after `set --persist`, a re-plug
    (an add event) of every FTDI port through udevadm writes the value to
    that one port only, whatever the device's own strings hold."""

    # Devices whose strings try to break out of a rule: a line break and a
    # RUN key, quotes and backslashes (two serials alike but for them), glob
    # characters, and bytes outside ASCII.
    HOSTILE = [
        ("1-5", 'Q"1', 'Evil\nRUN+="/bin/sh -c \'id > /tmp/pwned\'"', "ttyUSB20"),
        ("1-6", "Q\\1", "Box", "ttyUSB21"),
        ("1-7", 'S\nRUN+="/bin/true"\n*', 'Name", RUN+="/bin/false', "ttyUSB22"),
        ("1-8", "Gr\u00fc\u00dfe[1]|*?", "\u2603", "ttyUSB23"),
    ]

    @classmethod
    def setUpClass(cls):
        cls.added = []
        for n, (path, serial, product, tty) in enumerate(cls.HOSTILE):
            cls.added.append(f"/sys{PCI}/{path}")
            BED.add_from_string(usb_device(path, "0403", "6001", "x", "x", 1, 20 + n))
            BED.set_attribute(f"/sys{PCI}/{path}", "serial", serial)
            BED.set_attribute(f"/sys{PCI}/{path}", "product", product)
            for record in tty_devices(path, 0, tty):
                BED.add_from_string(record)
        cls.extra_ttys = [h[3] for h in cls.HOSTILE]

    def tearDown(self):
        self.set_all("16\n")

    def unplug(self):
        # A faked attribute is a plain file that udev writes without
        # truncating: empty them all, then see what udev writes.
        self.set_all("")

    def rule_files(self):
        return rule_files(self.rules)

    def test_udev_sets_the_port_again_after_a_replug(self):
        rc, out, err = run("set", "ttyUSB10", "latency-timer=1", "--persist", env=self.env)
        self.assertEqual(rc, 0, err)
        self.assertIn("ttyUSB10 latencyTimer 16 -> 1", out)
        self.assertEqual(latency("ttyUSB10"), "1")
        self.unplug()
        udev_add(self.ttys, self.rules + "/etc/udev/rules.d")
        self.assertEqual({t: latency(t) for t in self.ttys if latency(t)}, {"ttyUSB10": "1"})

        # The same again changes nothing; list shows the persisted value.
        rc, out, err = run("set", "ttyUSB10", "latency-timer=1", "--persist", env=self.env)
        self.assertEqual((rc, out), (0, "nothing to change\n"), err)
        rc, out, err = run("--json", "list", env=self.env)
        persisted = {p["port"]: p["persisted"] for p in json.loads(out)}
        self.assertEqual(persisted["ttyUSB10"], {"latencyTimer": 1})
        self.assertEqual(persisted["ttyUSB9"], {})

        # The driver's default removes the rule.
        rc, out, err = run("set", "ttyUSB10", "latency-timer=16", "--persist", env=self.env)
        self.assertEqual(rc, 0, err)
        self.assertIn("removed", out)
        self.assertEqual(self.rule_files(), {})

    def test_device_strings_never_become_rule_text(self):
        for path, serial, product, tty in self.HOSTILE:
            with self.subTest(serial=serial, product=product):
                rc, out, err = run("set", tty, "latency-timer=3", "--persist", env=self.env)
                self.assertEqual(rc, 0, err)
        files = self.rule_files()
        self.assertEqual(len(files), len(self.HOSTILE))  # one file per device
        for name in files:
            self.assertRegex(name, r"^75-varnokctl-latency-[A-Za-z0-9_-]+-[0-9a-f]{8}-A\.rules$")
        check_rule_lines(self, files)
        self.unplug()
        report = udev_add(self.ttys, self.rules + "/etc/udev/rules.d")
        self.assertNotIn("run: ", report.lower())
        self.assertNotIn("invalid", report.lower())
        self.assertEqual({t: latency(t) for t in self.ttys if latency(t)},
                         {h[3]: "3" for h in self.HOSTILE})


@unittest.skipUnless(os.geteuid() == 0 and UDEVADM, "needs root and Debian's udevadm")
class ProfileTest(RuleFolderTest):
    """import --persist judged by udev: the profile's rules give a port that
    was not there when they were written the profile's value on its add
    event, and no text of a profile or a device becomes rule text."""

    HOSTILE = 'P"9\nRUN+="/bin/sh -c id"\n*'

    @classmethod
    def setUpClass(cls):
        cls.added = [add_ftdi_device("1-10", cls.HOSTILE, "ttyUSB30", 30)]
        cls.extra_ttys = ["ttyUSB30"]

    def import_profile(self, *ports):
        path = os.path.join(self.rules, "profile.json")
        with open(path, "w") as f:
            json.dump({"format": "varnokplus-settings", "version": 1, "ports": list(ports)}, f)
        return run("import", path, "--persist", env=self.env)


    def test_a_port_plugged_in_later_gets_the_profiles_value(self):
        every = {"match": "*", "settings": {"latencyTimer": 2, "minReadTimeout": 100},
                 "bufferedWrites": {"enabled": True}}
        rc, out, err = self.import_profile(every)
        self.assertEqual(rc, 0, err)
        self.assertIn("ttyUSB11 latencyTimer 16 -> 2", out)
        self.assertIn("* udev rule /etc/udev/rules.d/74-varnokctl-profile.rules latency_timer=2",
                      out)
        self.assertIn("entry 1 (*): minReadTimeout does not exist on Linux; skipped", err)
        self.assertIn("entry 1 (*): bufferedWrites.enabled does not exist on Linux; skipped", err)
        self.assertEqual({latency(t) for t in self.ttys}, {"2"})
        rule = self.rules + "/etc/udev/rules.d/74-varnokctl-profile.rules"
        before = os.stat(rule)

        rc, out, err = self.import_profile(every)
        self.assertEqual((rc, out), (0, "nothing to change\n"), err)
        self.assertEqual((os.stat(rule).st_ino, os.stat(rule).st_mtime_ns),
                         (before.st_ino, before.st_mtime_ns))

        # A port's own rule comes after the profile's and wins.
        rc, out, err = run("set", "ttyUSB11", "latency-timer=9", "--persist", env=self.env)
        self.assertEqual(rc, 0, err)

        # A device that was not there when the rules were written.
        self.added.append(add_ftdi_device("1-11", "LATE1", "ttyUSB31", 31))
        self.ttys.append("ttyUSB31")
        self.set_all("")  # udev writes a faked attribute without truncating it
        report = udev_add(self.ttys, self.rules + "/etc/udev/rules.d")
        self.assertNotIn("invalid", report.lower())
        self.assertEqual({t: latency(t) for t in self.ttys},
                         {t: "9" if t == "ttyUSB11" else "2" for t in self.ttys})

    def test_profile_and_device_text_never_become_rule_text(self):
        rc, out, err = self.import_profile(
            {"serial": self.HOSTILE + "A", "settings": {"latencyTimer": 7}},
            {"serial": 'Z"\nRUN+="/bin/false"\\A', "settings": {"latencyTimer": 9}},
            {"deviceId": "0x04036015", "settings": {"latencyTimer": 5}})
        self.assertEqual(rc, 0, err)
        self.assertEqual(latency("ttyUSB30"), "7")  # applied now as well
        self.assertEqual(latency("ttyUSB0"), "5")
        files = rule_files(self.rules)
        self.assertEqual(list(files), ["74-varnokctl-profile.rules"])
        check_rule_lines(self, files)
        self.set_all("")
        report = udev_add(self.ttys, self.rules + "/etc/udev/rules.d")
        self.assertNotIn("run: ", report.lower())
        self.assertNotIn("invalid", report.lower())
        self.assertEqual({t: latency(t) for t in self.ttys if latency(t)},
                         {"ttyUSB30": "7", "ttyUSB0": "5"})


def received_since(line):
    """Bytes the simulated adapter received from log line `line` on."""
    with open(ADAPTER_LOG) as f:
        lines = f.read().splitlines()[line:]
    return bytes(int(h, 16) for l in lines if l.split()[1:2] == ["recv"] for h in l.split()[2:])


def log_length():
    with open(ADAPTER_LOG) as f:
        return len(f.read().splitlines())


def wait_for_leave(count):
    deadline = time.monotonic() + 5
    while time.monotonic() < deadline:
        with open(ADAPTER_LOG) as f:
            if f.read().count(" event leave") >= count:
                return
        time.sleep(0.02)


class ModesTest(unittest.TestCase):
    """The modes commands through the adapter's configuration tty: the same
    bytes as the Windows program, ports named by their ttys."""

    def setUp(self):
        rc, out, err = run("--json", "modes", "list")
        if "not available in this build" in err:
            self.skipTest("the modes commands are not in this build")
        self.assertEqual(rc, 0, err)
        self.adapters = json.loads(out)

    def test_list_names_the_ttys_by_topology(self):
        self.assertEqual(len(self.adapters), 1)  # the other maker's device is not listed
        a = self.adapters[0]
        self.assertEqual((a["adapter"], a["via"], a["model"]), ("Varnok Plus 8 (0)", "ttyUSB0",
                                                               "standard"))
        self.assertEqual([p["port"] for p in a["ports"]], [f"ttyUSB{n}" for n in range(1, 9)])

    def test_set_sends_the_windows_byte_stream(self):
        ports = self.adapters[0]["ports"]
        wait_for_leave(1)
        with open(ADAPTER_LOG) as f:
            leaves = f.read().count(" event leave")
        start = log_length()
        began = time.monotonic()
        rc, out, err = run("modes", "set", "ttyUSB0", "2", "rs422")
        elapsed = time.monotonic() - began
        self.assertEqual(rc, 0, err)
        self.assertEqual(out.strip(), f"Varnok Plus 8 (0) port 2 mode {ports[1]['modeName']} -> rs422")
        wait_for_leave(leaves + 2)
        settings = ""
        for p in ports:
            mode = 7 if p["number"] == 2 else p["mode"]
            bits = sum(v for k, v in (("bias", 1), ("txterm", 2), ("rxterm", 4)) if p.get(k))
            settings += f"\r\n{p['number']}\r\n{mode}\r\n{bits}\r\n"
        search = "0\r0\r0\r0\r\r\r96\r98\r"
        commit = "\r97\r" + settings + "\r99\r98\r"
        self.assertEqual(received_since(start), (search + commit).encode())
        # The pauses the protocol demands: search 660 ms, commit 610 ms and
        # 100 ms per piece of at most 50 bytes.
        pauses = 0.660 + 0.610 + 0.100 * -(-len(settings) // 50)
        print(f"\nmodes set: {elapsed * 1000:.0f} ms, pauses {pauses * 1000:.0f} ms, "
              f"ratio {elapsed / pauses:.2f}", file=sys.stderr)
        self.assertLess(elapsed, pauses * 1.5)
        rc, out, err = run("--json", "modes", "list")
        self.assertEqual(json.loads(out)[0]["ports"][1]["modeName"], "rs422")

    def test_bad_adapter_and_port(self):
        for args, status in ((["modes", "set", "ttyUSB5", "1", "rs232"], 3),
                             (["modes", "set", "1", "9", "rs232"], 3),
                             (["modes", "set", "1", "1", "rs999"], 2),
                             (["modes", "set", "1", "1", "9"], 4)):
            with self.subTest(args=args):
                rc, _, err = run(*args)
                self.assertEqual(rc, status, err)

    def test_interrupted_set_still_leaves_configuration_mode(self):
        port = self.adapters[0]["ports"][4]
        mode = "rs232" if port["modeName"] != "rs232" else "rs422"
        wait_for_leave(1)
        with open(ADAPTER_LOG) as f:
            leaves = f.read().count(" event leave")
        start = log_length()
        p = start_varnokctl("modes", "set", "ttyUSB0", "5", mode)
        try:
            self.assertTrue(wait_for_received(start, b"\r97\r"), "no commit began")
            p.send_signal(signal.SIGINT)
            time.sleep(0.05)
            p.send_signal(signal.SIGINT)  # a second Ctrl-C skips nothing
            _, err = p.communicate(timeout=30)
        finally:
            stop_process(p)
        wait_for_leave(leaves + 2)
        received = received_since(start)
        commit = received[received.index(b"\r97\r"):]
        self.assertTrue(commit.endswith(b"\r99\r98\r"), commit)
        self.assertEqual(commit.count(b"98\r"), 1)
        self.assertEqual(p.returncode, 130, err)
        self.assertIn("interrupted, but adapter \"Varnok Plus 8 (0)\" via ttyUSB0 had already "
                      "stored the new settings", err)
        rc, out, err = run("--json", "modes", "list")
        self.assertEqual(rc, 0, err)
        self.assertEqual(json.loads(out)[0]["ports"][4]["modeName"], mode)

    def test_terminated_list_still_leaves_configuration_mode(self):
        wait_for_leave(1)
        with open(ADAPTER_LOG) as f:
            leaves = f.read().count(" event leave")
        start = log_length()
        p = start_varnokctl("modes", "list")
        try:
            self.assertTrue(wait_for_received(start, b"96\r"), "no query began")
            p.send_signal(signal.SIGTERM)
            out, err = p.communicate(timeout=30)
        finally:
            stop_process(p)
        wait_for_leave(leaves + 1)
        self.assertTrue(received_since(start).endswith(b"96\r98\r"), received_since(start))
        self.assertEqual(p.returncode, 128 + signal.SIGTERM, err)
        self.assertIn("Varnok Plus 8 (0)  via ttyUSB0", out)
        self.assertIn("interrupted after every device had been asked", err)


def start_varnokctl(*args):
    env = {**os.environ, "UMOCKDEV_DIR": BED.get_root_dir()}
    return subprocess.Popen([VARNOKCTL, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True, env=env)


def stop_process(p):
    if p.poll() is None:
        p.kill()
        p.communicate()


def wait_for_received(line, data, timeout=10):
    """Polls the simulator's log until the bytes received from log line
    `line` on hold `data`."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if data in received_since(line):
            return True
        time.sleep(0.005)
    return False


class SilentConfigPortTest(unittest.TestCase):
    """The adapter's configuration port is there but does not answer (the
    simulator is stopped): the list is incomplete and says so."""

    def test_list_fails_and_names_the_port(self):
        os.kill(SIM.pid, signal.SIGSTOP)
        try:
            rc, out, err = run("modes", "list")
        finally:
            os.kill(SIM.pid, signal.SIGCONT)
        self.assertEqual(rc, 1, err)
        self.assertEqual(out, "")
        self.assertIn("varnokctl: ttyUSB0: the adapter's configuration port did not answer; "
                      "the list is incomplete", err)
        self.assertNotIn("no adapter found", err)
        time.sleep(0.3)  # what the simulator says to the bytes it missed goes unread
        rc, out, err = run("--json", "modes", "list")
        self.assertEqual(rc, 0, err)
        self.assertEqual(len(json.loads(out)), 1)


if __name__ == "__main__":
    try:
        unittest.main(verbosity=2)
    finally:
        SIM.terminate()
        SIM.wait()
