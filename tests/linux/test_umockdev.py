"""varnokctl on a fake udev/sysfs tree (umockdev): one 8-port "Varnok Plus"
adapter behind its hub (configuration chip at hub port 1, two quad chips at
ports 2 and 3), a two-interface FTDI device of another maker, a plain
FT232R, and a tty that is not FTDI. The configuration interface's tty is a
pseudo-terminal answered by the adapter simulator.

Run under umockdev-wrapper: test_umockdev.py VARNOKCTL ADAPTER."""
import json
import os
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


def tty_devices(path, interface, tty):
    intf = f"{PCI}/{path}/{path}:1.{interface}"
    return [
        f"P: {intf}\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n"
        f"A: bInterfaceNumber={interface:02x}\n",
        f"P: {intf}/{tty}\nE: SUBSYSTEM=usb-serial\nE: DRIVER=ftdi_sio\nA: latency_timer=16\n",
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
        self.assertEqual(lines[0].split(), ["TTY", "SERIAL", "INTERFACE", "LATENCY", "DESCRIPTION"])
        self.assertEqual(len(lines), 13)  # header + 12 FTDI ttys; the Arduino is not listed
        self.assertEqual(lines[1].split(), ["ttyUSB0", "VPC001A", "A", "16", "Varnok", "Plus", "-",
                                            "Config"])
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

    def test_persist_writes_a_rule_keyed_by_serial_and_interface(self):
        rules = tempfile.mkdtemp(prefix="rules-")
        os.makedirs(rules + "/etc/udev/rules.d")
        rc, out, err = run("set", "ttyUSB10", "latency-timer=1", "--persist",
                           env={"VARNOKCTL_RULES_ROOT": rules})
        self.assertEqual(rc, 0, err)
        with open(rules + "/etc/udev/rules.d/75-varnokctl-latency-OMB77-B.rules") as f:
            rule = f.read()
        self.assertIn('ATTRS{serial}=="OMB77", ATTRS{bInterfaceNumber}=="01", '
                      'ATTR{latency_timer}="1"', rule)
        self.assertEqual(latency("ttyUSB10"), "1")

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


if __name__ == "__main__":
    try:
        unittest.main(verbosity=2)
    finally:
        SIM.terminate()
        SIM.wait()
