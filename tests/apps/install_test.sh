#!/usr/bin/env bash
# The installed suite is usable from outside the tree: the README's host
# example, taken from the README, builds against an installed prefix once
# with CMake (find_package) and once with pkg-config, and both programs log
# into the installed emulator; cpack makes a Debian package of it.
. "$(dirname "$0")/common.sh"
build="$(dirname "$bin")"
source_dir="$3"
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" > "$work/install.log" || { cat "$work/install.log"; exit 1; }
for f in lib/libZynDecodeKit.so lib/libZynPlayCtrl.so include/zynvs/ZynDecodeKit.h \
         include/zynvs/ZynPlayCtrl.h bin/zynvs bin/zyn-devsim lib/pkgconfig/zynvs.pc \
         lib/cmake/ZynVS/ZynVSConfig.cmake lib/libZynConFigCtrl.so include/zynvs/ZynConFigCtrl.h \
         bin/zynsearch bin/zynconfig lib/zynvs-emulated/libAntsNetSDK.so; do
  [ -e "$prefix/$f" ] || { echo "FAIL: $f not installed"; failures=$((failures + 1)); }
done

# The example: the indented block of README.md that starts with "/* host.c".
mkdir -p "$work/host"
awk '/^    \/\* host\.c/ {on = 1} on && /^[^ ]/ {exit} on {sub(/^    /, ""); print}' \
  "$source_dir/README.md" > "$work/host/host.c"
grep -q 'int main' "$work/host/host.c" || { echo "FAIL: no example in README.md"; exit 1; }
cat > "$work/host/CMakeLists.txt" <<'EOF_CMAKE'
cmake_minimum_required(VERSION 3.25)
project(host C)
find_package(ZynVS REQUIRED)
add_executable(host_cmake host.c)
target_link_libraries(host_cmake PRIVATE ZynVS::ZynDecodeKit)
EOF_CMAKE
# Against a sanitizer build of the suite the host carries the same runtime.
san_flags=""
case "${ZYNVS_SANITIZE:-}" in
  address) san_flags="-fsanitize=address,undefined" ;;
  thread) san_flags="-fsanitize=thread" ;;
esac
cmake -S "$work/host" -B "$work/host/build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_FLAGS="$san_flags" -DCMAKE_EXE_LINKER_FLAGS="$san_flags" > "$work/cmake.log" 2>&1 \
  && cmake --build "$work/host/build" >> "$work/cmake.log" 2>&1 \
  || { cat "$work/cmake.log"; exit 1; }
# shellcheck disable=SC2046,SC2086
cc -Wall -Wextra $san_flags -o "$work/host/host_pc" "$work/host/host.c" \
  $(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs zynvs) -Wl,-rpath,"$prefix/lib"

bin="$prefix/bin"  # the installed emulator
start_device
expect_run 0 "channel 0: 92 bytes of video parameters" "$work/host/build/host_cmake" "$port" "$stream_port"
expect_run 0 "channel 0: 92 bytes of video parameters" "$work/host/host_pc" "$port" "$stream_port"
expect_run 0 "^usage: zynvs" "$prefix/bin/zynvs" help
# The installed search tool finds the emulated vendor libraries by itself.
QT_QPA_PLATFORM=offscreen expect_run 0 "I8NVR20260001" "$prefix/bin/zynsearch" --list --seconds 1

# The Debian package holds the same files under /usr.
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/package" > "$work/cpack.log" 2>&1 \
  || { cat "$work/cpack.log"; exit 1; }
contents="$(dpkg-deb -c "$work"/package/zynvs_*.deb)"
for f in usr/lib/libZynDecodeKit.so usr/include/zynvs/ZynPlayCtrl.h usr/bin/zynvs usr/lib/pkgconfig/zynvs.pc \
         usr/bin/zynconfig usr/lib/zynvs-emulated/libQVPlayer.so; do
  grep -q "\./$f\$" <<<"$contents" || { echo "FAIL: $f not in the package"; failures=$((failures + 1)); }
done
finish
