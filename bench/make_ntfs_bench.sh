#!/usr/bin/env bash
# Makes the NTFS volume bench_ntfs lists: mkntfs on a plain file, then 20,000 files
# written through an ntfs-3g mount (FUSE; run as root or with access to /dev/fuse) in
# 100 folders, one in ten non-resident (8 KiB), and 2,000 of them deleted at the end.
#
# Usage: bench/make_ntfs_bench.sh <folder>   (writes <folder>/ntfs_bench.img)
# The folder should be a temporary one; nothing is written anywhere else.
set -euo pipefail

dir="${1:?usage: make_ntfs_bench.sh <folder>}"
files="${NTFS_BENCH_FILES:-20000}"
folders=100
for tool in mkntfs ntfs-3g fusermount truncate; do
  command -v "$tool" >/dev/null || { echo "make_ntfs_bench.sh: $tool is missing (packages ntfs-3g, fuse3)" >&2; exit 1; }
done
[ -c /dev/fuse ] || { echo "make_ntfs_bench.sh: /dev/fuse is missing" >&2; exit 1; }

img="$dir/ntfs_bench.img"
mnt="$dir/mnt"
mkdir -p "$mnt"
mounted=0
cleanup() { if [ "$mounted" = 1 ]; then fusermount -u "$mnt" || true; fi; rmdir "$mnt" 2>/dev/null || true; }
trap cleanup EXIT

rm -f "$img"
truncate -s 256M "$img"
mkntfs -F -Q -q -c 4096 -L BENCH "$img" >/dev/null 2>&1
ntfs-3g -o noatime "$img" "$mnt"
mounted=1

small="$(printf 'a small file of the benchmark volume, resident in its record\n')"
big="$(head -c 8192 /dev/zero | tr '\0' 'x')"
per=$(( (files + folders - 1) / folders ))
n=0
for ((f = 0; f < folders && n < files; f++)); do
  d="$mnt/folder $(printf '%03d' "$f")"
  mkdir "$d"
  for ((i = 0; i < per && n < files; i++, n++)); do
    if (( n % 10 == 0 )); then
      printf '%s' "$big" > "$d/file $n.bin"
    else
      printf '%s' "$small" > "$d/file $n.txt"
    fi
  done
done
# Deleted files: every tenth folder's first 200 entries.
for ((f = 0; f < folders; f += 10)); do
  d="$mnt/folder $(printf '%03d' "$f")"
  find "$d" -maxdepth 1 -type f | sort | head -n 200 | while IFS= read -r p; do rm -f "$p"; done
done
sync
fusermount -u "$mnt"
mounted=0
echo "$img"
