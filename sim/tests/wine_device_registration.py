"""The device registration helper against a Wine prefix: after "add" the
SetupAPI probe finds a device described "NI USB-6008", after "remove" it
does not. Run by ctest in the win preset:

  wine_device_registration.py <setupapi_probe.exe>   (WINEPREFIX set)
"""

import os
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))

import register_daq_device as registry  # noqa: E402

PROBE = None


def probe(*argv):
    done = subprocess.run([registry.WINE_RUN, PROBE] + list(argv), stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=120)
    return done.returncode, done.stdout.decode("utf-8", "replace")


class DeviceRegistrationTest(unittest.TestCase):
    def tearDown(self):
        registry.remove()

    def test_add_shows_the_device_and_remove_hides_it(self):
        registry.remove()
        rc, out = probe()
        self.assertEqual(rc, 1, out)
        registry.add()
        registry.add()  # again: still one device
        rc, out = probe()
        self.assertEqual(rc, 0, out)
        self.assertEqual(out.splitlines()[0], "NI USB-6008")
        self.assertIn("found 1", out)
        self.assertIn("DeviceDesc", registry.show())
        registry.remove()
        rc, out = probe()
        self.assertEqual(rc, 1, out)
        self.assertEqual(registry.show(), "")

    def test_a_second_instance_and_another_description(self):
        registry.add(serial="01F2A3B4")
        registry.add(serial="01F2A3C5", description="NI USB-6008 (Dev2)")
        rc, out = probe("USB-6008")
        self.assertEqual(rc, 0, out)
        self.assertIn("found 2", out)
        self.assertIn("NI USB-6008 (Dev2)", out.splitlines())
        rc, out = probe("USB-6009")
        self.assertEqual(rc, 1, out)


if __name__ == "__main__":
    PROBE = sys.argv.pop(1)
    unittest.main()
