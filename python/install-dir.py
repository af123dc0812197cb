"""Prints where Python packages go under the install prefix given, relative to it."""
import os
import sys
import sysconfig

prefix = os.path.normpath(sys.argv[1])
schemes = sysconfig.get_scheme_names()
if prefix == "/usr" and "deb_system" in schemes:
    path = sysconfig.get_path("platlib", "deb_system", vars={"base": prefix, "platbase": prefix})
elif prefix == "/usr/local" and "posix_local" in schemes:
    path = sysconfig.get_path("platlib", "posix_local", vars={"base": "/usr", "platbase": "/usr"})
else:
    path = sysconfig.get_path("platlib", "posix_prefix", vars={"base": prefix, "platbase": prefix})
print(os.path.relpath(path, prefix))
