#!/usr/bin/env bash
# Writes the seed inputs of the fuzz targets that read stored forms, disk slices,
# names and kernel text (fuzz/corpus/{registry,settings,search,names,devices}).
#   registry, settings: written by the program itself (make_seeds.cpp).
#   search: slices of tests/fixtures/lost.img (mkfs.fat, mtools and the fixture's
#     file generator): the boot sector and the first sectors of each planted file,
#     the last byte choosing the run (see fuzz_search.cpp).
#   names: the folder paths and names of the files on the FAT and NTFS fixtures
#     (mkfs.fat, mtools, mkntfs, ntfs-3g), and names with path syntax in them.
#   ini: Languages/English.lng as the program exports it, converted to UTF-16 by
#     iconv and to CRLF line ends by sed, and small files in the profile layout.
#   carving: the samples of tests/fixtures/samples.bin (make_samples.sh: ImageMagick,
#     cjpeg, jpegtran, exiftool, img2pdf, Python, GNU tar, gzip) behind the bytes that
#     choose their walk (see fuzz_carving.cpp), whole and cut short, and hand-made
#     headers of the two-byte signatures.
#   devices: uevent datagrams, mountinfo lines and sysfs attribute files in the
#     layout the kernel writes them, for a desktop with an NVMe disk, a USB stick,
#     an optical drive and loop devices.
#
# Usage: fuzz/make_seeds.sh [fuzz build folder, default build-fuzz]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build-fuzz}"
corpus="$here/fuzz/corpus"
cmake --build "$build" --target make_fuzz_seeds | grep -v "^\[" || true
rm -rf "$corpus/registry" "$corpus/settings" "$corpus/search" "$corpus/names" "$corpus/devices" "$corpus/ini" \
  "$corpus/carving"
"$build/fuzz/make_fuzz_seeds" "$corpus"

mkdir -p "$corpus/ini"
cp "$here/Languages/English.lng" "$corpus/ini/english_utf8"
{ printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$here/Languages/English.lng"; } > "$corpus/ini/english_utf16"
{ printf '\xef\xbb\xbf'; sed 's/$/\r/' "$here/Languages/English.lng"; } > "$corpus/ini/english_bom_crlf"
printf 'orphan=before any section\n; a comment\n[Wizard.Step3]\n 100 = "quoted value" \n101=\x27single\x27\n100=second wins not\n[wizard.step3]\n102=same section again\nno equals sign\n[Other\n200=unclosed header\n' > "$corpus/ini/duplicates"
printf '[StringsTable]\r\n129=Information\r\n130=no final line end' > "$corpus/ini/crlf_no_final_eol"

python3 - "$here" "$corpus" <<'EOF'
import gzip, json, os, struct, sys
here, corpus = sys.argv[1], sys.argv[2]
fixtures = os.path.join(here, 'tests', 'fixtures')

def put(folder, name, data):
    os.makedirs(os.path.join(corpus, folder), exist_ok=True)
    with open(os.path.join(corpus, folder, name), 'wb') as f:
        f.write(data)

# search: the last byte is the run (cluster size, block size, bad sector, workers).
lost = json.load(open(os.path.join(fixtures, 'lost.manifest.json')))
image = gzip.open(os.path.join(fixtures, 'lost.img.gz')).read()
put('search', 'boot', image[:4096] + b'\x00')
runs = [0x04, 0x00, 0x15, 0x0C, 0x05, 0x11, 0x06, 0x14, 0x1C]
for i, p in enumerate(lost['planted']):
    n = (min(p['size'], 16384) + 511) // 512 * 512
    if p['content_kind'].startswith('ole'):
        n = 16384  # header, allocation table and directory
    name = p['path_before_format'].rsplit('/', 1)[-1].replace(' ', '_')
    put('search', name, image[p['offset']:p['offset'] + n] + bytes([runs[i % len(runs)]]))

# carving: the walk (FormatKind order from JPEG, then the header checks), the sectors
# in hand, the limit in KB (0: none), then the file.
kinds = {'.jpg': 0, '.png': 1, '.gif': 2, '.tiff': 3, '.zip': 4, '.docx': 4, '.pdf': 5, '.wav': 6, '.tar': 8,
         '.gz': 9}
samples = json.load(open(os.path.join(fixtures, 'samples.manifest.json')))
blob = gzip.open(os.path.join(fixtures, 'samples.bin.gz')).read()
for i, s in enumerate(samples['samples']):
    ext = os.path.splitext(s['name'])[1]
    if ext not in kinds:
        continue
    data = blob[s['offset']:s['offset'] + s['size']]
    put('carving', s['name'], bytes([kinds[ext], 1 + i % 7, 0]) + data)
    put('carving', s['name'] + '.cut', bytes([kinds[ext], i % 3, 0]) + data[:len(data) * 2 // 3])
put('carving', 'mp4', bytes([7, 0, 0]) + struct.pack('>I', 16) + b'ftypisom' + bytes(4) +
    struct.pack('>I', 16) + b'moov' + bytes(8) + struct.pack('>I', 1) + b'mdat' + struct.pack('>Q', 40) + bytes(24))
put('carving', 'dos', bytes([10, 0, 0]) + b'MZ' + struct.pack('<13H', 0x90, 3, 0, 4, 0, 0xFFFF, 0, 0xB8, 0, 0, 0, 0x40, 0)
    + bytes(34) + struct.pack('<I', 0x80) + bytes(64) + b'PE\0\0')
put('carving', 'gzip', bytes([11, 0, 0]) + gzip.compress(b'hello', mtime=0))
put('carving', 'ha', bytes([13, 0, 0]) + b'HA' + struct.pack('<HBIIII', 1, 0x22, 6, 10, 0x1234, 0x5000) +
    b'\0readme.txt\0\x02\x01\x20')

# names: a first byte of what is planted in the destination, then parts.
def encode(plant, parts):
    out = bytes([plant])
    for part in parts:
        units = part.encode('utf-16-le', 'surrogatepass')
        out += bytes([len(units) // 2]) + units
    return out

paths = set()
for manifest in ('fat12', 'fat16', 'fat32', 'ntfs', 'mbr'):
    m = json.load(open(os.path.join(fixtures, manifest + '.manifest.json')))
    for o in m.get('objects', []) + m.get('files', []):
        path = o.get('path')
        if path and path != '/':
            paths.add(path)
for i, path in enumerate(sorted(paths)[:24]):
    parts = [p for p in path.split('/') if p]
    put('names', 'fixture_%02d' % i, encode(i % 8, parts))
hostile = [
    ['..', '..', 'etc', 'passwd'],
    ['.', 'a/b', 'c\\d', 'name\x00with nul'],
    ['DCIM', 'x' * 250 + '.jpeg'],
    ['\udc01lone', 'tab\there', '\x7f\x85'],
    ['same', 'same', 'same.txt'],
]
for i, parts in enumerate(hostile):
    put('names', 'hostile_%d' % i, encode(7, parts))

# devices: segments separated by 0xFF: uevent, mountinfo, then the attribute files
# of the fake tree (see fuzz_devices.cpp).
# A desktop's mountinfo as the kernel writes it: root and home on an NVMe disk, the
# EFI partition, a btrfs subvolume (device 0:x), tmpfs, a USB stick whose label
# holds blanks (octal escapes) and a loop-mounted image.
mountinfo = (
    b'22 28 0:21 / /proc rw,nosuid,nodev,noexec,relatime shared:5 - proc proc rw\n'
    b'23 28 0:22 / /sys rw,nosuid,nodev,noexec,relatime shared:6 - sysfs sysfs rw\n'
    b'28 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw,errors=remount-ro\n'
    b'30 28 259:1 / /boot/efi rw,relatime shared:31 - vfat /dev/nvme0n1p1 rw,fmask=0077,dmask=0077\n'
    b'31 28 0:39 /@home /home rw,relatime shared:32 - btrfs /dev/nvme0n1p3 rw,ssd,subvol=/@home\n'
    b'32 23 0:26 / /run/user/1000 rw,nosuid,nodev,relatime shared:40 - tmpfs tmpfs rw,size=1620000k,mode=700\n'
    b'90 28 8:17 / /media/user/MY\\040PHOTOS rw,nosuid,nodev,relatime shared:50 - vfat /dev/sdb1 rw,uid=1000\n'
    b'91 28 7:0 / /mnt/image rw,relatime shared:51 - ntfs3 /dev/loop0 rw,uid=0\n'
    b'92 28 8:17 / /mnt/again rw,relatime shared:52 - vfat /dev/sdb1 rw\n'
)
events = [
    b'add@/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb\0'
    b'ACTION=add\0DEVPATH=/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb\0'
    b'SUBSYSTEM=block\0MAJOR=8\0MINOR=16\0DEVNAME=sdb\0DEVTYPE=disk\0DISKSEQ=12\0SEQNUM=4711\0',
    b'remove@/devices/virtual/block/loop0\0ACTION=remove\0DEVPATH=/devices/virtual/block/loop0\0'
    b'SUBSYSTEM=block\0MAJOR=7\0MINOR=0\0DEVNAME=loop0\0DEVTYPE=disk\0SEQNUM=4712\0',
    b'change@/devices/virtual/block/sdb/sdb1\0ACTION=change\0SUBSYSTEM=block\0DEVNAME=sdb1\0DEVTYPE=partition\0',
    b'libudev\0\xfe\xed\xca\xfe' + b'\0' * 16,
]
# Attribute files (see fuzz_devices.cpp for their order): a USB stick with one
# partition, an NVMe disk, a SATA disk that is an optical drive, a bare loop device.
trees = {
    'usb_stick': [b'8:16\n', b'7827456\n', b'1\n', b'SanDisk \n', b'Cruzer Blade    \n', b'12\n', b'512\n',
                  b'50\n', b'0\n', None, b'8:17\n', b'1\n', b'2048\n', b'7825408\n', b'7:0\n', b'2048\n',
                  b'/home/user/disk.img\n', b'254:0\n', b'7823360\n'],
    'nvme': [b'259:0\n', b'1000215216\n', b'0\n', None, b'Samsung SSD 980 1TB                     \n', b'1\n',
             b'512\n', b'0\n', None, None, b'259:1\n', b'1\n', b'2048\n', b'1048576\n', b'7:0\n', b'0\n',
             None, b'254:0\n', b'999164416\n'],
    'optical': [b'11:0\n', b'2097151\n', b'1\n', b'HL-DT-ST\n', b'DVDRAM GH24NSD1 \n', b'3\n', b'2048\n',
                b'119\n', b'5\n', b'cdrom\n'],
    'loop_4k': [b'7:3\n', b'409600\n', b'0\n', None, None, b'9\n', b'4096\n', b'50\n', None, None, b'7:3\n',
                b'1\n', b'\n', b'18446744073709551615\n'],
}
for i, (name, attrs) in enumerate(trees.items()):
    segs = [events[i % len(events)], mountinfo] + [a if a is not None else b'' for a in attrs]
    put('devices', name, b'\xff'.join(segs))
EOF
echo "seeds written to $corpus"
