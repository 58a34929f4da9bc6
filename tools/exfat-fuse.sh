# Sourced by the exFAT fixture builders: checks for root and the tools, makes a scratch
# folder ($work) with a mount point ($mnt), and undoes the mount and the loop device on
# exit, however the script ends. Filling goes through the exfat-fuse driver on a loop
# device (packages exfatprogs, exfat-fuse).
[[ $(id -u) -eq 0 ]] || { echo "needs root (loop device + FUSE mount)" >&2; exit 1; }
command -v mkfs.exfat >/dev/null && command -v mount.exfat-fuse >/dev/null ||
  { echo "needs exfatprogs and exfat-fuse" >&2; exit 1; }

work=$(mktemp -d)
mnt="$work/mnt"
loop=""
cleanup() {
  mountpoint -q "$mnt" && umount "$mnt"
  [[ -n "$loop" ]] && losetup -d "$loop"
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$mnt"
