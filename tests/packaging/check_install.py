#!/usr/bin/python3
"""Installs the build into a temporary prefix and checks it file by file, runs the installed programs (an
installed window keeps its files in the user's data folder), then builds the Debian package, checks its
dependencies and contents, and runs the programs unpacked from it.

Usage: check_install.py BUILD_DIR
"""
import glob
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

BUILD = os.path.abspath(sys.argv[1])
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def run(argv, env=None, **kwargs):
    return subprocess.run(argv, capture_output=True, text=True, env=env, **kwargs)


def files_under(root):
    found = set()
    for folder, _, names in os.walk(root):
        for name in names:
            found.add(os.path.relpath(os.path.join(folder, name), root))
    return found


EXPECTED = {
    "bin/brindle", "bin/brindle-sql", "bin/brindle-dump",
    "share/brindle/brHelp.txt", "share/brindle/upiti.dbf", "share/brindle/upiti.dbt", "share/brindle/upiti.cpg",
    "share/applications/brindle.desktop",
    "share/icons/hicolor/scalable/apps/brindle.svg",
    "share/metainfo/org.example.brindle.metainfo.xml",
    "share/man/man1/brindle.1.gz", "share/man/man1/brindle-sql.1.gz",
}


def empty_saved_queries(brindle_sql, folder):
    """The installed saved-query table reads as an empty table with the saved-query fields."""
    r = run([brindle_sql, "--csv", folder, "select count(*) from upiti"])
    check(r.returncode == 0 and r.stdout == "Expr1000\n0\n", "saved-query template: %r %r" % (r.stdout, r.stderr))
    r = run([brindle_sql, "--csv", folder, "select * from upiti"])
    check(r.stdout.lower().startswith("u_naziv,u_txt"), "saved-query fields: %r" % r.stdout)


def without_display():
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    return env


with tempfile.TemporaryDirectory() as temp:
    prefix = os.path.join(temp, "usr")
    r = run(["cmake", "--install", BUILD, "--prefix", prefix])
    check(r.returncode == 0, "cmake --install: " + r.stderr)
    installed = files_under(prefix)
    check(installed == EXPECTED, "installed files: extra %s, missing %s" %
          (sorted(installed - EXPECTED), sorted(EXPECTED - installed)))
    for program in ("brindle", "brindle-sql", "brindle-dump"):
        check(os.access(os.path.join(prefix, "bin", program), os.X_OK), program + " is not executable")

    # --help and --version answer without a window, with no display at all.
    brindle = os.path.join(prefix, "bin", "brindle")
    r = run([brindle, "--version"], env=without_display())
    check(r.returncode == 0 and r.stdout.startswith("brindle ") and len(r.stdout.split()) == 2,
          "brindle --version: %r %r" % (r.stdout, r.stderr))
    r = run([brindle, "--help"], env=without_display())
    check(r.returncode == 0 and r.stdout.startswith("usage: brindle"), "brindle --help: %r" % r.stdout)
    empty_saved_queries(os.path.join(prefix, "bin", "brindle-sql"), os.path.join(prefix, "share", "brindle"))

    # The installed window keeps its files in the user's data folder, stocked on first start, and
    # writes nothing beside the program.
    data = os.path.join(temp, "data")
    env = dict(without_display(), QT_QPA_PLATFORM="offscreen", XDG_DATA_HOME=data, HOME=os.path.join(temp, "home"),
               XDG_RUNTIME_DIR=temp)
    window = subprocess.Popen([brindle, os.path.join(prefix, "share", "brindle")], env=env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    own = os.path.join(data, "BRINDLE")
    deadline = time.time() + 20
    while time.time() < deadline and not os.path.exists(os.path.join(own, "brHelp.txt")):
        time.sleep(0.2)
    time.sleep(0.5)
    window.send_signal(signal.SIGTERM)
    window.wait(timeout=20)
    check(files_under(own) >= {"upiti.dbf", "upiti.dbt", "brHelp.txt"},
          "user's data folder holds %s" % sorted(files_under(own)) if os.path.isdir(own) else "no user's data folder")
    check(files_under(os.path.join(prefix, "bin")) == {"brindle", "brindle-sql", "brindle-dump"},
          "written beside the program: %s" % sorted(files_under(os.path.join(prefix, "bin"))))

    for validator in (["desktop-file-validate"], ["appstreamcli", "validate", "--no-net"]):
        if shutil.which(validator[0]):
            target = "share/applications/brindle.desktop" if validator[0] == "desktop-file-validate" \
                else "share/metainfo/org.example.brindle.metainfo.xml"
            r = run(validator + [os.path.join(prefix, target)])
            check(r.returncode == 0, "%s: %s%s" % (validator[0], r.stdout, r.stderr))

    # The Debian package: its dependencies are the libraries' packages, its files the installed ones.
    packages = os.path.join(temp, "packages")
    r = run(["cpack", "-G", "DEB", "-B", packages, "--config", os.path.join(BUILD, "CPackConfig.cmake")], cwd=BUILD)
    debs = glob.glob(os.path.join(packages, "*.deb"))
    check(r.returncode == 0 and len(debs) == 1, "cpack: %s %s" % (r.stdout[-2000:], r.stderr[-2000:]))
    if debs:
        deb = debs[0]
        fields = {f: run(["dpkg-deb", "-f", deb, f]).stdout.strip() for f in ("Package", "Depends", "Section")}
        check(fields["Package"] == "brindle", "package name: %r" % fields["Package"])
        check(fields["Section"] == "database", "section: %r" % fields["Section"])
        for library in ("libqt6widgets6", "libqt6core6", "libsqlite3-0", "libxlsxwriter", "libicu", "libc6"):
            check(library in fields["Depends"], "Depends lacks %s: %r" % (library, fields["Depends"]))
        listed = {line.split()[-1].lstrip("./") for line in run(["dpkg-deb", "-c", deb]).stdout.splitlines()
                  if not line.startswith("d")}
        check(listed == {"usr/" + f for f in EXPECTED}, "package files: extra %s, missing %s" %
              (sorted(listed - {"usr/" + f for f in EXPECTED}), sorted({"usr/" + f for f in EXPECTED} - listed)))
        # Its dependencies resolve against the system's packages (a dry run of the installation).
        r = run(["apt-get", "install", "--simulate", deb])
        check(r.returncode == 0 and "Inst brindle" in r.stdout, "apt-get --simulate: %s%s" % (r.stdout[-1500:], r.stderr))
        root = os.path.join(temp, "root")
        run(["dpkg-deb", "-x", deb, root])
        r = run([os.path.join(root, "usr", "bin", "brindle"), "--version"], env=without_display())
        check(r.returncode == 0 and r.stdout.startswith("brindle "), "unpacked brindle --version: %r" % r.stderr)
        empty_saved_queries(os.path.join(root, "usr", "bin", "brindle-sql"), os.path.join(root, "usr", "share", "brindle"))

for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
