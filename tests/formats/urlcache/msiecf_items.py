#!/usr/bin/python3
"""Lists what libmsiecf (Debian's python3-libmsiecf) reads in an index.dat.

First line: the cache folders, tab-separated. Then one line per URL item:
location, file name, cache folder index, cached file size, head length.
Exit status 3 when the module is missing, so the test can say so.
"""
import sys

try:
    import pymsiecf
except ImportError:
    sys.exit(3)

index = pymsiecf.file()
index.open(sys.argv[1])
folders = [index.get_cache_directory(i).decode("ascii")
           for i in range(index.number_of_cache_directories)]
print("\t".join(folders))
for item in index.items:
    if not isinstance(item, pymsiecf.url):
        continue
    print("\t".join([item.location, item.filename or "", str(item.cache_directory_index & 0xff),
                     str(item.cached_file_size), str(len(item.data or b""))]))
