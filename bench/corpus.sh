#!/usr/bin/env bash
# Assembles the benchmark corpus from fixed Debian packages into OUT
# (default build/bench/corpus) and prints each file's size and SHA-256.
# The packages are downloaded with apt-get (no install), at the versions
# named below; another version gives other files, which the hashes show.
#
#   text.txt     English prose: the Debian policy manuals, the Debian FAQ and
#                the bash manual (debian-policy, debian-faq, bash-doc)
#   source.cc    C++ sources: GoogleTest, every .h and .cc in name order (googletest)
#   binary.elf   an x86-64 program: /usr/bin/cmake (cmake)
#   mime.xml     XML: the freedesktop MIME database (shared-mime-info)
#   packed.deb   an already compressed file: the cmake package itself
#   mixed.tar    a tar of GoogleTest, the word list and the ninja program
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-$PWD/build/bench/corpus}
packages=(debian-policy=4.6.2.0 googletest=1.12.1-0.2 cmake=3.25.1-1 shared-mime-info=2.2-1
          wamerican=2020.12.07-2 ninja-build=1.11.1-2~deb12u1 debian-faq=11.1 bash-doc=5.2.15-2)
debs=$(dirname "$out")/debs
mkdir -p "$out" "$debs"
cd "$debs"
for p in "${packages[@]}"; do
  name=${p%%=*}
  ls "${name}"_*.deb >/dev/null 2>&1 || apt-get download -qq "$p" 2>/dev/null || apt-get download -qq "$name" 2>/dev/null
done
rm -rf root && mkdir root
for d in *.deb; do dpkg-deb -x "$d" root; done

cap() { head -c 10485760; } # at most 10 MiB a file
{ for f in policy upgrading-checklist copyright-format-1.0 debconf_specification menu-policy perl-policy; do
    zcat "root/usr/share/doc/debian-policy/$f.txt.gz"
  done
  zcat root/usr/share/doc/debian/FAQ/debian-faq.en.txt.gz root/usr/share/info/bash.info.gz; } | cap >"$out/text.txt"
(cd root/usr/src/googletest && find . -type f \( -name '*.h' -o -name '*.cc' \) | LC_ALL=C sort | xargs cat) | cap >"$out/source.cc"
cap <root/usr/bin/cmake >"$out/binary.elf"
cap <root/usr/share/mime/packages/freedesktop.org.xml >"$out/mime.xml"
cap <"$(ls cmake_*.deb | head -1)" >"$out/packed.deb"
tar --sort=name --mtime=@0 --owner=0 --group=0 --numeric-owner -C root -cf - \
  usr/src/googletest usr/share/dict usr/bin/ninja | cap >"$out/mixed.tar"

cd "$out"
for f in text.txt source.cc binary.elf mime.xml packed.deb mixed.tar; do
  printf '%-12s %9d  %s\n' "$f" "$(stat -c %s "$f")" "$(sha256sum "$f" | cut -c1-64)"
done
