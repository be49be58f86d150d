# Shared by tools/test and tools/run: installs the Debian packages the build needs.

# Packages the build, the tests and the fixture scripts need.
VANDREL_PACKAGES=(
  g++ cmake ninja-build pkg-config libgtest-dev
  clang-14 libclang-rt-14-dev
  gzip
  # the gzip walk of the signature search (the end of a deflate stream)
  zlib1g-dev
  # tests read the fixtures' manifests
  nlohmann-json3-dev
  # the fixture recipes in tests/fixtures
  dosfstools mtools ntfs-3g fuse3 python3
  # sfdisk, for the partition-table fixture (tests/fixtures/make_mbr.sh)
  fdisk
  # the carved-files fixture (tests/fixtures/make_carve.sh): pictures, archives, a PDF
  imagemagick tar bzip2 groff
  # the carving samples (tests/fixtures/make_samples.sh): JPEG starts, a PDF
  libjpeg-turbo-progs libimage-exiftool-perl img2pdf
  # the user interface: Qt 6 Widgets, its tools (uic, moc, the help generator),
  # SVG icons, the icon theme, a font for offscreen rendering, and Xvfb with
  # xdotool to run the program without a screen
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools libqt6svg6 qt6-qpa-plugins libgl-dev
  # the help window (Qt Help keeps its index in SQLite)
  libqt6sql6-sqlite
  adwaita-icon-theme fonts-dejavu-core
  # CJK letters in file names read from disk (the views show them)
  fonts-wqy-microhei
  xvfb xauth xdotool
)

ensure_packages() {
  local missing=()
  local p
  for p in "${VANDREL_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  [ "${#missing[@]}" -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
  fi
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# ThreadSanitizer cannot map its shadow memory with the high address-space
# randomisation of recent kernels; run it without randomisation where needed.
run_tsan_ctest() {  # folder, ctest options...
  local dir="$1"; shift
  local wrap=()
  if command -v setarch >/dev/null 2>&1 && setarch "$(uname -m)" -R true 2>/dev/null; then
    wrap=(setarch "$(uname -m)" -R)
  fi
  (cd "$dir" && "${wrap[@]}" ctest --output-on-failure -j "$(nproc)" "$@")
}
