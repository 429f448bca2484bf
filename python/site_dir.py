"""Prints, relative to PREFIX, the folder where this interpreter looks for modules: the site
directory it searches that lies under PREFIX (Debian's python3 reads
/usr/local/lib/python3.X/dist-packages for /usr/local and /usr/lib/python3/dist-packages
for /usr), else the one a prefix of its own would have (PREFIX/lib/python3.X/site-packages,
which a virtual environment at PREFIX searches).
Usage: python3 site_dir.py PREFIX"""
import os
import site
import sys
import sysconfig

prefix = os.path.realpath(sys.argv[1])
searched = [os.path.realpath(p) for p in site.getsitepackages() if os.path.basename(p).endswith("-packages")]
# Below PREFIX/lib, so that /usr does not take /usr/local's folder.
under = [p for p in searched if os.path.commonpath([p, os.path.join(prefix, "lib")]) ==
         os.path.join(prefix, "lib")]
folder = under[0] if under else sysconfig.get_path("platlib", "posix_prefix",
                                                   {"base": prefix, "platbase": prefix})
print(os.path.relpath(folder, prefix))
