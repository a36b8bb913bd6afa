# The Linux release build as Debian builds its packages: Debian's own compiler and
# linker flags from dpkg-buildflags with every hardening feature on (stack protector,
# _FORTIFY_SOURCE, format checks, RELRO and immediate binding; PIE is the compiler's
# default), so that lintian finds nothing to say about hardening. Sourced by
# scripts/package.sh and the package test.
#
# configure_deb_release SOURCE_DIR BUILD_DIR: configures (or reconfigures) BUILD_DIR.
configure_deb_release() (
  local src=$1 build=$2 flags
  # From the source directory, so that -ffile-prefix-map strips the right prefix.
  flags=$(cd "$src" && DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh) || return 1
  eval "$flags"
  # CMake does not read CPPFLAGS: they go with the compile flags.
  cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFILEPTT_TESTS=OFF \
        -DCMAKE_C_FLAGS="$CPPFLAGS $CFLAGS" -DCMAKE_CXX_FLAGS="$CPPFLAGS $CXXFLAGS" \
        -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" -DCMAKE_SHARED_LINKER_FLAGS="$LDFLAGS" >/dev/null
)
