#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR and checks the tree a distribution package would ship:
# programs, the versioned library, header, pkg-config file, desktop entry, MIME type, thumbnailer,
# icons and manual pages; the desktop entry and MIME package are validated by their own tools.
set -euo pipefail
build=$1
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
prefix=/opt/veltrane-test
DESTDIR=$dest cmake --install "$build" --prefix "$prefix" >/dev/null
root=$dest$prefix
fail=0
need() { [ -e "$root/$1" ] || { echo "missing: $1"; fail=1; }; }

for f in bin/veltrane bin/veltrane-preview bin/tarrow lib/libPackage.so include/tarrow.h include/tarrow_archive.h \
         lib/pkgconfig/veltrane-package.pc share/applications/veltrane.desktop \
         share/mime/packages/veltrane-skin.xml share/thumbnailers/veltrane.thumbnailer \
         share/icons/hicolor/scalable/apps/veltrane.svg share/icons/hicolor/48x48/apps/veltrane.png \
         share/man/man1/veltrane.1 share/man/man1/veltrane-preview.1 share/man/man1/tarrow.1 share/man/man3/tarrow_open.3 \
         share/metainfo/org.veltrane.Veltrane.metainfo.xml share/veltrane/Skins; do
  need "$f"
done

# The library carries a versioned SONAME and the programs find it from the prefix.
soname=$(objdump -p "$root/lib/libPackage.so" | awk '/SONAME/ {print $2}')
[[ $soname == libPackage.so.* ]] || { echo "unversioned SONAME: $soname"; fail=1; }
for program in tarrow veltrane-preview; do
  if ldd "$root/bin/$program" | grep -q 'libPackage.*not found'; then echo "$program cannot find libPackage"; fail=1; fi
done
"$root/bin/tarrow" --version >/dev/null || { echo "installed tarrow does not run"; fail=1; }

desktop-file-validate "$root/share/applications/veltrane.desktop" || fail=1
xmllint --noout "$root/share/mime/packages/veltrane-skin.xml" || fail=1
# The MIME database compiler accepts the package and registers the type with its glob.
cp -r "$root/share/mime" "$dest/mime"
update-mime-database "$dest/mime" >/dev/null 2>&1 || { echo "update-mime-database refused the package"; fail=1; }
grep -q 'application/x-veltrane-skin:\*\.wsz' "$dest/mime/globs2" || { echo "glob not registered"; fail=1; }
grep -q 'application/x-veltrane-skin application/zip' "$dest/mime/subclasses" || { echo "not a zip subclass"; fail=1; }

for m in "$root"/share/man/man1/*.1 "$root"/share/man/man3/*.3; do
  [ -z "$(groff -man -ww -z "$m" 2>&1)" ] || { echo "manual page warnings in $m"; fail=1; }
done

if [ $fail -eq 0 ]; then echo "install tree complete"; fi
exit $fail
