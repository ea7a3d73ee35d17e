#!/usr/bin/env bash
# Builds the Debian package from a finished build tree into a scratch folder, unpacks it into a
# scratch root as dpkg would install it, and checks what a user gets: the files, the declared
# dependencies, the desktop integration and the binary's libraries.
# Usage: debian_package.sh BUILD/CPackConfig.cmake SOURCE_DIR
set -euo pipefail
config=$(realpath "$1")
source=$(realpath "$2")
build=$(dirname "$config")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail=0
ok() { echo "ok: $1"; }
bad() { echo "FAIL: $1"; fail=1; }
check() { if eval "$1"; then ok "$2"; else bad "$2"; fi; }

for tool in cpack dpkg-deb dpkg-shlibdeps dpkg-query ldd appstreamcli; do
  command -v "$tool" > /dev/null || { echo "FAIL: $tool is missing: run tools/deps.sh"; exit 1; }
done

# The top-level install script ends by writing install_manifest.txt into the build tree. A copy
# of it in the scratch folder writes the manifest there instead and runs the same per-folder
# install scripts, so the package is the one `cpack` in the build tree makes.
mkdir "$work/project"
script=$(< "$build/cmake_install.cmake")
old="file(WRITE \"$build/\${CMAKE_INSTALL_MANIFEST}\""
new="file(WRITE \"$work/project/\${CMAKE_INSTALL_MANIFEST}\""
[[ "$script" == *"$old"* ]] || { echo "FAIL: no manifest line in $build/cmake_install.cmake"; exit 1; }
printf '%s\n' "${script//"$old"/"$new"}" > "$work/project/cmake_install.cmake"
cat > "$work/config.cmake" << EOF
include("$config")
set(CPACK_INSTALL_CMAKE_PROJECTS "$work/project;marbelow;ALL;/")
EOF
if ! cpack --config "$work/config.cmake" -G DEB -B "$work/out" > "$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAIL: cpack could not build the package"
  exit 1
fi
debs=("$work"/out/*.deb)
[ "${#debs[@]}" = 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: no single .deb: ${debs[*]}"; exit 1; }
deb=${debs[0]}
echo "built $(basename "$deb")"

field() { dpkg-deb -f "$deb" "$1"; }
check '[ "$(field Package)" = marbelow ]' "the package is called marbelow"
release=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' \
  "$source/packaging/org.marbelow.Marbelow.metainfo.xml" | head -n 1)
check '[ "$(field Version)" = "$release" ]' \
  "the package version $(field Version) is the metainfo's latest release ($release)"

# Depends as dpkg-shlibdeps wrote it: one package name per entry, versions dropped.
depends=$(field Depends | tr ',' '\n' | sed 's/(.*)//; s/|.*//; s/ //g' | sed '/^$/d')
echo "Depends: $(field Depends)"
for wanted in libqt6widgets6 libqt6gui6 libqt6core6 libjpeg62-turbo libpng16-16 libgif7 libc6 \
  libstdc++6 libgcc-s1; do
  check 'grep -qx "$wanted" <<< "$depends"' "depends on $wanted"
done
for name in $depends; do
  check 'dpkg-query -W -f="\${Status}" "$name" 2> /dev/null | grep -q "install ok installed"' \
    "dependency $name is a Debian package installed here"
done

root="$work/root"
dpkg-deb -x "$deb" "$root"
files=$(cd "$root" && find . -type f | sort)
expected=$(sort << 'EOF'
./usr/bin/marbelow
./usr/share/applications/org.marbelow.Marbelow.desktop
./usr/share/icons/hicolor/128x128/apps/marbelow.png
./usr/share/metainfo/org.marbelow.Marbelow.metainfo.xml
EOF
)
check '[ "$files" = "$expected" ]' "the package holds the program, its desktop file, icon and metainfo"
[ "$files" = "$expected" ] || diff <(echo "$expected") <(echo "$files") || true
check 'cmp -s "$root/usr/share/icons/hicolor/128x128/apps/marbelow.png" "$source/assets/icon.png"' \
  "the icon is assets/icon.png"
check '[ -x "$root/usr/bin/marbelow" ]' "the program is executable"

# What the desktop file names must be in the package: its command and its icon.
desktop="$root/usr/share/applications/org.marbelow.Marbelow.desktop"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
icon_name=$(sed -n 's/^Icon=//p' "$desktop")
check '[ -n "$exec_name" ] && [ -x "$root/usr/bin/$exec_name" ]' \
  "Exec=$exec_name is the installed program"
check '[ -n "$icon_name" ] && [ -f "$root/usr/share/icons/hicolor/128x128/apps/$icon_name.png" ]' \
  "Icon=$icon_name is the installed icon"
# The tree check also matches the metainfo's launchable with the installed desktop file.
if appstreamcli validate-tree --no-net --strict "$root" > "$work/tree.log" 2>&1; then
  ok "appstreamcli accepts the installed tree"
else
  cat "$work/tree.log"
  bad "appstreamcli accepts the installed tree"
fi

ldd_out=$(ldd "$root/usr/bin/marbelow" 2>&1) && ldd_status=0 || ldd_status=$?
check '[ "$ldd_status" = 0 ] && ! grep -q "not found" <<< "$ldd_out"' \
  "every library of the installed program is found"
grep "not found" <<< "$ldd_out" || true

exit "$fail"
