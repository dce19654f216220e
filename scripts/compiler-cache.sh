# Sourced by the build scripts: compiles through ccache when it is installed, with
# paths taken relative to the checkout so that another clone of the same sources
# finds the objects compiled here.
ZEMBRIX_CACHE_ARGS=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
  ZEMBRIX_CACHE_ARGS=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
