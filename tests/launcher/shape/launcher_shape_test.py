"""The launcher executables of both builds have the shape players' Windows needs.

Usage: launcher_shape_test.py VERSION CONSOLE_EXE ARCH=LAUNCHER_EXE...
VERSION is the FILEVERSION every launcher must carry; CONSOLE_EXE a console
program of the first launcher's build, which the check must refuse; then the
launchers to check with their architectures (this build's first and, when the
other build was made beside it, that one's).
"""

import os
import shutil
import sys
import tempfile
import unittest

import pe_shape

VERSION = CONSOLE_EXE = None
LAUNCHERS = []


class LauncherShapeTest(unittest.TestCase):
    def setUp(self):
        self.version = VERSION
        self.executables = LAUNCHERS

    def test_every_launcher_has_its_shape(self):
        for arch, path in self.executables:
            with self.subTest(arch=arch):
                self.assertTrue(os.path.isfile(path), path + " was not built")
                self.assertEqual(pe_shape.problems(path, arch, self.version), [])

    def test_wrong_shapes_are_refused(self):
        arch, launcher = self.executables[0]
        other = "x86_64" if arch == "i686" else "i686"
        with tempfile.TemporaryDirectory() as folder:
            # The same launcher importing a DLL that is not Windows' own.
            foreign = os.path.join(folder, "foreign.exe")
            with open(launcher, "rb") as f:
                data = f.read()
            self.assertIn(b"bcrypt.dll", data)
            with open(foreign, "wb") as f:
                f.write(data.replace(b"bcrypt.dll", b"libz-1.dll", 1))
            not_pe = os.path.join(folder, "not-pe.exe")
            shutil.copyfile(__file__, not_pe)
            cases = [
                ("other machine", launcher, other, self.version, "not "),
                ("console program", CONSOLE_EXE, arch, self.version, "subsystem"),
                ("foreign DLL", foreign, arch, self.version, "libz-1.dll"),
                ("other version", launcher, arch, "9.9.9.9", "FILEVERSION"),
                ("not a PE file", not_pe, arch, self.version, "not a PE file"),
            ]
            for name, path, as_arch, version, said in cases:
                with self.subTest(name):
                    found = pe_shape.problems(path, as_arch, version)
                    self.assertTrue(any(said in problem for problem in found), found)

    def test_a_manifest_of_the_other_processor_is_refused(self):
        arch, launcher = self.executables[0]
        own, other = ("x86", "amd64") if arch == "i686" else ("amd64", "x86")
        text = pe_shape.manifest_text(launcher)
        self.assertEqual([], pe_shape.manifest_problems(text, arch))
        self.assertEqual(2, text.count('processorArchitecture="%s"' % own), text)
        cases = [
            ("Common Controls of the other build", text.replace('="%s" publicKey' % own, '="%s" publicKey' % other),
             ["Microsoft.Windows.Common-Controls asks for processorArchitecture " + other]),
            ("no architecture named", text.replace(' processorArchitecture="%s"' % own, ""),
             ["Halvek.Drel.Launcher asks for processorArchitecture None",
              "Microsoft.Windows.Common-Controls asks for processorArchitecture None"]),
            ("any processor", text.replace('="%s"' % own, '="*"'), []),
        ]
        for name, manifest, said in cases:
            with self.subTest(name):
                found = pe_shape.manifest_problems(manifest, arch)
                self.assertEqual(len(said), len(found), found)
                for expected, problem in zip(said, found):
                    self.assertIn(expected, problem)


if __name__ == "__main__":
    VERSION, CONSOLE_EXE = sys.argv[1], sys.argv[2]
    LAUNCHERS = [tuple(item.split("=", 1)) for item in sys.argv[3:]]
    unittest.main(argv=sys.argv[:1], verbosity=2)
